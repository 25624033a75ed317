#include "runner/startup.h"

#include <cstring>

#include "audio/audio.h"
#include "core/console.h"
#include "core/crc32.h"
#include "core/files.h"
#include "core/memory.h"
#include "core/process_exit.h"
#include "core/save_area.h"
#include "core/test_hooks.h"
#include "core/text.h"
#include "data/container.h"
#include "data/general_info.h"
#include "ext/extensions.h"
#include "ext/platform_builtins.h"
#include "ext/services.h"
#include "graphics/3d/shutdown.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/profiler.h"
#include "graphics/image/embedded_images.h"
#include "graphics/particles/particles.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/font.h"
#include "graphics/sprite/sprite.h"
#include "graphics/text/text_draw.h"
#include "io/input.h"
#include "io/message_pump.h"
#include "io/window.h"
#include "library/buffer_table.h"
#include "library/data_structures.h"
#include "library/files.h"
#include "library/ini_builtins.h"
#include "net/debugger.h"
#include "net/network.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "runner/backends.h"
#include "runner/command_line.h"
#include "runner/game_load.h"
#include "runner/image_downloads.h"
#include "runner/options_file.h"
#include "runner/run_loop.h"
#include "runner/run_state.h"
#include "runner/stop_signals.h"
#include "script/compiled_game.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "script/legacy/library_init.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_breakpoints.h"
#include "world/builtin_variables.h"
#include "world/dispatch.h"
#include "world/event.h"
#include "world/game_values.h"
#include "world/highscore.h"
#include "world/instance.h"
#include "world/interaction_builtins.h"
#include "world/motion_planning.h"
#include "world/object.h"
#include "world/path.h"
#include "world/room.h"
#include "world/room_entry.h"
#include "world/room_table.h"
#include "world/saved_game.h"
#include "world/timeline.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

WindowHandle g_mainWindow = nullptr;
// Why the game could not be loaded or prepared; empty while nothing failed.
std::string g_notLoaded;
// Set once the game is loaded and prepared and starts to run.
bool g_gameStarted = false;

// A message about the game file, after the file's name.
std::string AboutGameFile(const std::string& text) {
    return Load_FileName().empty() ? text : Text_Escaped(Load_FileName().c_str()) + ": " + text;
}

void GameNotLoaded(const std::string& why) {
    if (g_notLoaded.empty()) g_notLoaded = why.empty() ? AboutGameFile("Failed to load the game") : why;
}

void Trace(const char* step) {
    DebugConsole->Output("%s\n", step);
}

// The open dialog for a game file; without someone to answer it (or a dialog tool to ask with) there is
// no way to choose a game.
char* AskForGameFile(bool pathGiven) {
    std::string path;
    if (FileDialog_Open("All Files (*.*)|*.*", "", nullptr, nullptr, path)) return String_Duplicate(path.c_str());
    if (pathGiven)
        std::fprintf(stderr, "No game found: -game was given no file name, and there is no data.win beside the "
                             "runner.\n");
    else
        std::fprintf(stderr,
                     "No game found: there is no data.win beside the runner and no -game <file> was given.\n");
    return nullptr;
}

void LeaveFullScreen() { Display_EnsureWindowed(); }

// A dialog lasts until it is answered, at every moment of a run: before the game starts (the open dialog
// for a game), while it runs, and in the events that run while it ends. Only a stop signal closes it first.
bool PumpForDialog() {
    ProcessMessages();
    return !StopSignals_Received();
}

// A break in the game's code waits for the debugger while the run goes on.
bool PumpWhileRunning() {
    ProcessMessages();
    return MessagePump_State().Run_Running != 0;
}

// The forms of the dialogs and the debug form are drawn with the built-in font: its image (a 16-byte
// header, then R, G, B, A bytes) and glyph table stay for the whole run.
void InstallDialogFont(const uint8_t* table, uint32_t tableSize) {
    const uint8_t* image = nullptr;
    uint32_t imageSize = 0;
    if (!EmbeddedImage_Find(table, tableSize, kEmbeddedImageFont, image, imageSize) || imageSize < 16) return;
    DialogFont font;
    std::memcpy(&font.width, image + 4, 4);
    std::memcpy(&font.height, image + 8, 4);
    if (font.width <= 0 || font.height <= 0 || (imageSize - 16) / 4 / static_cast<uint32_t>(font.width) <
                                                    static_cast<uint32_t>(font.height))
        return;
    font.pixels = image + 16;
    font.glyphs = BuiltinFont_GlyphTable;
    font.first = kBuiltinFontFirst;
    font.last = kBuiltinFontLast;
    Dialog_SetFont(font);
}

void RefreshDebugForm() {
    if (Run_State().Run_DebugForm) Run_State().Run_DebugForm->Update();
}

void SetPaused(bool paused) {
    Run_State().Run_Paused = paused ? 1 : 0;
}
bool IsPaused() {
    return Run_State().Run_Paused != 0;
}
int CurrentRoomSpeed() {
    return Room_State().Run_Room ? Room_State().Run_Room->speed : 0;
}
int FramesPerSecond() {
    return GameValues_State().Run_FPS;
}

// The error form: a message box with Abort and Ignore (Ignore only where the error allows it). An
// unattended run answers with the default button, Abort.
bool ShowErrorForm(const char* text, bool mayIgnore) {
    const uint32_t type = (mayIgnore ? MB_ABORTRETRYIGNORE : MB_OK) | MB_ICONERROR;
    const int answer = Platform_MessageBox(text, "Error", type);
    return !mayIgnore || answer == IDABORT;
}

void EndGameAfterError() {
    // An error of the running game also goes where a failure is looked for (one that stops the load or
    // the preparation is summed up there by the refusal's own line).
    if (g_gameStarted && !CodeError_State().Code_QuietErrors && CodeError_State().Code_LastErrorText) {
        size_t shown = std::strlen(CodeError_State().Code_LastErrorText);
        while (shown > 0 && (CodeError_State().Code_LastErrorText[shown - 1] == '\n' ||
                             CodeError_State().Code_LastErrorText[shown - 1] == '\r'))
            --shown;
        std::fprintf(stderr, "%.*s\n", static_cast<int>(shown), CodeError_State().Code_LastErrorText);
    }
    Room_State().New_Room = -400;
    Window_PostQuit();
}

// What the effects read of the running room.
EffectRoomInfo EffectRoom() {
    if (!Room_State().Run_Room) return EffectRoomInfo{0, 0, 0, GameValues_State().Run_FPS};
    return EffectRoomInfo{Room_State().Run_Room->speed, Room_State().Run_Room->width,
                          Room_State().Run_Room->height, GameValues_State().Run_FPS};
}

// The area the overlay's taps are mapped into: the running room, or the port of its view 0.
bool OverlayGameArea(int& width, int& height) {
    if (!Room_State().Run_Room) return false;
    width = Room_State().Run_Room->width;
    height = Room_State().Run_Room->height;
    if (Room_State().Run_Room->viewsEnabled) {
        width = Room_State().Run_Room->views[0].portW;
        height = Room_State().Run_Room->views[0].portH;
    }
    return true;
}

// The window the general information asks for must be one the device can make a screen of; checked
// before any window is made.
bool WindowSizeFits(const CDataView& file) {
    int maxWidth, maxHeight;
    GR_D3D_ScreenSizeLimit(&maxWidth, &maxHeight);
    const GeneralInfo& info = GeneralInfo_State().g_GeneralInfo;
    const std::string tag = IFF_TagName(file.WordAt(info.record >= 8 ? info.record - 8 : 0));
    if (info.version < 8) {
        Runner_LoadFailed("Chunk %s: the general information of version %d gives no window size\n", tag.c_str(),
                          info.version);
        return false;
    }
    if (info.windowWidth < 1 || info.windowHeight < 1 || info.windowWidth > maxWidth || info.windowHeight > maxHeight) {
        Runner_LoadFailed("Chunk %s: the window size %d x %d is not one the device can make (1 x 1 to %d x %d)\n",
                          tag.c_str(), info.windowWidth, info.windowHeight, maxWidth, maxHeight);
        return false;
    }
    return true;
}

// A step of the preparation; a failure is shown as the step's message and ends the run with it, after
// the file and the chunk whose records failed, and followed by the code that did not compile (its name,
// the line and position, and the compiler's message) when a compile failed.
bool PrepareStep(const char* name, bool ok, const char* chunk, const char* failure) {
    DebugConsole->Output("%s() \n", name);
    if (!ok) {
        std::string why = std::string("Chunk ") + chunk + ": " + failure;
        if (const char* reason = CodeError_State().Code_ErrorReason) why += " " + Text_Escaped(reason);
        GameNotLoaded(AboutGameFile(why));
        ShowMessage(failure);
    }
    return ok;
}

} // namespace

bool Runner_InitAll() {
    Runner_RegisterBackends();
    uint32_t size = 0;
    const uint8_t* table = EmbeddedImage_BuiltinTable(size);
    EmbeddedImage_SetTable(table, size);
    InstallDialogFont(table, size);
    CRC32_Init();
    Support_InitTempDirectory();
    GR_Draw_Init();
    // Before the data file is read, only "-steam" can forbid calls into external libraries.
    Code_Constant_Init(!CommandLine_State().Runner_Switches.steam);
    InitMiscConstants();
    Window_ClearViewPorts();
    Particle_Init();
    Effect_SetRoomSource(EffectRoom);
    Run_Global_Init();
    Variable_BuiltIn_Init();
    Path_Init();
    HighScore_Clear();
    Run_ClearDeferredChanges();
    World_InstallScriptServices();
    Runner_InstallImageDownloads();
    Profiler_SetHost(ProfilerHost{OverlayGameArea,
                                  [] { return (Object_State().Object_SpriteFlagWord & 0x80000000u) != 0; },
                                  [] { return Run_State().Run_Paused != 0; }});
    // The names of sprites, backgrounds and fonts stand for their indices in compiled code.
    Code_Constant_SetResourceFind(RESOURCE_SPRITE, Sprite_Find);
    Code_Constant_SetResourceFind(RESOURCE_BACKGROUND, Background_Find);
    Code_Constant_SetResourceFind(RESOURCE_FONT, Font_Find);
    Code_SetErrorServices(
        CodeErrorServices{ShowErrorForm, IO_Clear, EndGameAfterError, RefreshDebugForm, Display_EnsureWindowed});
    Code_Function_SetExtensions(ExtensionCalls{Extension_FindFunction, Extension_GetFunctionArgCount,
                                               Extension_CallDLLFunction, Extension_CallFunction,
                                               Extension_CallFailure});
    Services_SetHost(ServicesHost{Dispatch_AsyncEvent});
    Dialog_SetServices(DialogServices{LeaveFullScreen, PumpForDialog});
    Debugger_SetHost(
        DebuggerHost{PumpWhileRunning, SetPaused, IsPaused, Run_Step, CurrentRoomSpeed, FramesPerSecond});
    Runner_SetGameFileAsker(AskForGameFile);
    ProcessMessages();
    return true;
}

bool InitGraphics() {
    if (GeneralInfo_State().g_Options.changeResolution) {
        int depth = -1, width = -1, height = -1, frequency = -1;
        switch (GeneralInfo_State().g_Options.colourDepth) {
        case 1: depth = 16; break;
        case 2: depth = 32; break;
        }
        static const int kSizes[7][2] = {{-1, -1}, {320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}};
        if (GeneralInfo_State().g_Options.resolution >= 1 && GeneralInfo_State().g_Options.resolution <= 6) {
            width = kSizes[GeneralInfo_State().g_Options.resolution][0];
            height = kSizes[GeneralInfo_State().g_Options.resolution][1];
        }
        static const int kFrequencies[6] = {-1, 60, 70, 85, 100, 120};
        if (GeneralInfo_State().g_Options.frequency >= 1 && GeneralInfo_State().g_Options.frequency <= 5)
            frequency = kFrequencies[GeneralInfo_State().g_Options.frequency];
        Display_SetAll(width, height, frequency, depth);
    }
    Trace("GR_D3D_Init()");
    if (!GR_D3D_Init(g_mainWindow, GeneralInfo_State().g_GeneralInfo.windowWidth,
                     GeneralInfo_State().g_GeneralInfo.windowHeight, GeneralInfo_State().GameOptions))
        return false;
    Trace("Background_InitTextures()");
    Background_InitTextures();
    Trace("Sprite_InitTextures()");
    Sprite_InitTextures();
    Trace("Font_InitTextures()");
    Font_InitTextures();
    return true;
}

bool PrepareGame() {
    const char* kObjects = "Failed to compile the actions in the objects.";
    // Only a compile of the preparation names its failure in a failed step's line.
    MEM_FREE(CodeError_State().Code_ErrorReason);
    CodeError_State().Code_ErrorReason = nullptr;
    if (!PrepareStep("Extension_Prepare", Extension_Prepare(), "EXTN", "Failed to prepare extension packages."))
        return false;
    const int constants = static_cast<int>(GeneralInfo_State().g_Options.constantNames.size());
    if (!PrepareStep("Code_Constant_Prepare",
                     Code_Constant_Prepare(constants, GeneralInfo_State().g_Options.constantNames.data(),
                                           GeneralInfo_State().g_Options.constantValues.data()),
                     "OPTN", "Failed to define the constants."))
        return false;
    if (!PrepareStep("Script_Prepare", Script_Prepare(), "SCPT", "Failed to compile the scripts.")) return false;
    if (!PrepareStep("TimeLine_Prepare", TimeLine_Prepare(), "TMLN", "Failed to compile the actions in the time lines."))
        return false;
    if (!PrepareStep("Object_Prepare", Object_Prepare(), "OBJT", kObjects)) return false;
    if (!PrepareStep("Room_Prepare", Room_Prepare(), "ROOM", kObjects)) return false;
    SND_Init();
    if (!PrepareStep("Sound_Prepare", Sound_Prepare(), "SOND", "Failed to prepare the sounds.")) return false;
    Audio_Prepare();
    DebugConsole->Output("InitGraphics() \n");
    DebugConsole->Output("Finished PrepareGame() \n");
    return true;
}

bool Runner_DoTheWork(const CGameFile& game) {
    std::srand(2101988);
    if (!LoadGameData(game)) {
        Trace("Failed to load the game");
        GameNotLoaded(Runner_LoadFailureLine());
        return false;
    }
    if (CommandLine_State().Runner_Switches.inAWindow) GeneralInfo_State().g_Options.fullScreen = false;
    Variable_InitGlobals();
    Trace("PrepareGame()");
    if (!PrepareGame()) return false;
    Trace("Run_Start");
    StopSignals_TestMoment("start");
    g_gameStarted = true;
    Run_Start();
    return true;
}

void Runner_StartUp(const std::optional<std::string>& gamePath, CGameFile& game) {
    if (!RunnerLoadGame(gamePath ? gamePath->c_str() : nullptr, game)) {
        GameNotLoaded(Runner_LoadFailureLine());
        return;
    }
    Trace("Get Resolution");
    Code_Load(game.Data(), game.Size());
    // A file whose container or general information is broken makes no window.
    if (Runner_HasLoadFailed()) {
        Trace("Failed to load the game");
        GameNotLoaded(Runner_LoadFailureLine());
        return;
    }
    if (!WindowSizeFits(game.View())) {
        Trace("Failed to load the game");
        GameNotLoaded(Runner_LoadFailureLine());
        return;
    }
    // The save area is known from the general information on.
    LoadSave_RemoveLeftoverWrites();
    StopSignals_TestMoment("loaded");
    if (CommandLine_State().Runner_Switches.inAWindow) GeneralInfo_State().GameOptions &= ~1u;
    Steam_Init(CommandLine_State().Runner_Switches.steam);
    Trace("Create Window");
    g_mainWindow = Window_Create(GeneralInfo_State().g_GeneralInfo.windowWidth,
                                 GeneralInfo_State().g_GeneralInfo.windowHeight);
    StopSignals_TestMoment("window");
    Trace("Init Graphics");
    if (!InitGraphics()) {
        GameNotLoaded("The graphics device could not be started");
        return;
    }
    Trace("IO Init");
    IO_Init();
    if (const IniFile* options = Game_OptionsFile()) IO_LoadVirtualKeys(*options);
    Trace("Process Messages");
    ProcessMessages();
    Trace("Start Frame");
    Graphics::StartFrame();
    Trace("Part Create Textures"); // each shape's texture is made when a particle first needs it
    Trace("Debug Init Remote Interface");
    DebuggerInitRemoteInterface();
    Trace("VM Init");
    DebuggerClearBreakpoints();
    // Long loops of game code keep the window answering; a runaway recursion is shown in a box.
    VM_SetMessagePump(ProcessMessages);
    VM_SetMessageBox([](const char* text, const char* caption) { Platform_MessageBox(text, caption, 0); });
    if (GeneralInfo_State().g_GeneralInfo.debuggerServer == 0) {
        Trace("Start Server");
        Debugger_StartServer();
    }
    Trace("Create Score Form");
    Trace("Create Load Form");
    Trace("Create Error Form");
    Trace("Do The Work");
    Runner_DoTheWork(game);
}

void Runner_StopDevices() {
    IO_End();
    SND_Quit();
}

void Runner_Shutdown(bool processEnds) {
    // What only holds the process's memory is left to the system when the process ends with the run;
    // everything that reaches outside it (files, the temporary folder, threads, sockets, libraries, the
    // display and the device) is closed either way, but for a display that has gone away: the device
    // and the textures that live on it are left as they are, and the process ends with the run.
    const bool displayLost = Platform_DisplayLost();
    const bool freeTables = !processEnds && !displayLost;
    if (freeTables) VM_ReleaseAbandoned();
    Services_Shutdown();
    Network_Shutdown();
    Steam_Shutdown();
    Extension_Free();
    HighScore_Save();
    if (freeTables) {
        Game_ClearQueue();
        Code_Constant_Free();
        Code_Function_Free();
        Code_FreeArguments();
        DS_FreeAll();
        Room_Clear();
        Instance_FreeAll();
        Run_FreeCarriedInstances();
        Object_Lists_Free();
        Object_Free();
        TimeLine_Free();
        Event_FreeReleased();
        Grid_Free();
        Particle_Free();
        Sprite_Free();
    }
    Support_DeleteTempDirectory();
    if (!displayLost) Display_Free();
    if (freeTables) {
        Background_Free();
        Texture_FreeAll();
        Script_Free();
        Library_Free();
        Variable_Free();
        CompiledGame_FreeGlobalSlots();
        Font_Free();
        Text_Free();
    }
    File_CloseAll();
    Ini_CloseCurrent(); // not written: games close their ini file themselves
    Buffer_DeleteAll();
    Sound_Free();
    if (freeTables) {
        HighScore_Reset();
        Interaction_Reset();
    }
    if (!displayLost) GR_D3D_Quit();
    if (freeTables) Game_FreeData();
}

int Runner_Main(const std::string& commandLine, const std::string& folder) {
    g_notLoaded.clear();
    g_gameStarted = false;
    // A stop signal before the main loop starts is kept for it (Run_Start).
    Platform_HoldCloseRequests(true);
    // The game file lives for the whole run and is freed after everything made from it. A fatal error
    // that ends the run from inside still closes the devices and frees the game.
    CGameFile game;
    Process_SetCleanup([&game] {
        Runner_StopDevices();
        Runner_Shutdown();
        game.Free();
    });
    const std::optional<std::string> gamePath =
        ParseCommandLine(commandLine, CommandLine_FindGameBeside(folder));
    std::string error;
    if (!CommandLine_CheckFiles(&error)) {
        Process_SetCleanup(nullptr);
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // Files named with "@" are unpacked only in the game's own folder, never in a folder the runner was
    // merely started from (a user's home folder, say).
    if (gamePath && !gamePath->empty() && CommandLine_InGameFolder(*gamePath)) UnpackAtFiles(".");
    if (Runner_InitAll()) {
        Runner_StartUp(gamePath, game);
        while (MessagePump_State().Run_Running == 1) {
            Run_Frame();
            ProcessMessages();
        }
        if (MessagePump_State().Run_Running == 0) EndGame();
        if (const int pause = TestHook_ClosingPause()) {
            ReleaseConsole->Output("Test hook: the closing is held for %d ms\n", pause);
            TestHook_Sleep(pause);
        }
        Runner_StopDevices();
        Window_PostQuit();
        Runner_Shutdown(true);
        game.Free();
    }
    Process_SetCleanup(nullptr);
    // A game that an error ended (a fatal error, or one the player chose to abort on) has failed, as
    // the error's own exit from inside the virtual machine says.
    if (g_notLoaded.empty()) return CodeError_State().Code_Aborting ? kExitAfterError : 0;
    // A run that could not start its game says why where a user sees it, and ends as one without a game.
    std::fprintf(stderr, "%s\n", g_notLoaded.c_str());
    return 1;
}
