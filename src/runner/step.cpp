#include "runner/step.h"
#include "world/room_draw.h"

#include "data/general_info.h"
#include "ext/services.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/profiler.h"
#include "graphics/particles/particles.h"
#include "io/input.h"
#include "io/window.h"
#include "net/debugger.h"
#include "net/network.h"
#include "physics/physics.h"
#include "platform/clock.h"
#include "runner/command_line.h"
#include "runner/run_state.h"
#include "world/dispatch.h"
#include "world/event.h"
#include "world/game_values.h"
#include "world/instance.h"
#include "world/room.h"
#include "world/saved_game.h"

#include <cmath>

namespace {

// After a stage: its deferred changes, then whether a room change now ends the step.
bool StageEnds() {
    Run_ApplyDeferredChanges();
    return Room_State().New_Room != -1;
}

} // namespace

void Run_ApplyDeferredChanges() {
    if (Deferred_Count(DEFERRED_OBJECT) > 0) Run_ApplyObjectChanges();
    if (Deferred_Count(DEFERRED_DEPTH) > 0) Run_ApplyDepthChanges();
    if (Deferred_Count(DEFERRED_ACTIVATION) > 0) {
        if (Room_State().Run_Room)
            Room_State().Run_Room->UpdateActivation();
        else Deferred_Clear(DEFERRED_ACTIVATION);
    }
}

// In a physics room the world steps first and every instance with a body takes its place from it; the
// others move as in any room. The world's contacts then raise the collision events.
bool Run_MoveInstances(bool /*anyPath*/) {
    if (!Room_State().Run_Room) return false;
    CPhysicsWorld* world = Room_State().Run_Room->physicsWorld;
    if (world) world->Update(Room_State().Run_Room->speed);
    // Instances made during the pass (by an end-of-path event) do not get the event in it.
    const uint64_t stamp = Instance_State().DispatchStamp++;
    size_t k = 0;
    for (CInstance* i = Room_State().Run_Room->active.first; i; ++k) {
        CInstance* next = i->next;
        RoomList_Prefetch(Room_State().Run_Room->active, k + kPrefetchAhead);
        if (i->Present() && !(world && i->FollowPhysicsBody())) {
            i->ApplyFrictionGravity();
            if (i->AdvancePath() && i->creationStamp <= stamp) PerformInstanceEvent(i, i, ev_other, ev_end_of_path);
            i->SetPosition(static_cast<float>(static_cast<double>(i->x) + i->hspeed),
                           static_cast<float>(static_cast<double>(i->y) + i->vspeed));
        }
        i = next;
    }
    if (!world) return false;
    Room_State().Run_Room->RaisePhysicsCollisions();
    return true;
}

void DoAStep() {
    const int64_t now = Timing_GetTime();
    GameValues_State().Run_DeltaTime = now - Run_State().Run_StepClock;
    Run_State().Run_StepClock = now;
    // A saved game queued by the last step replaces the world before anything else happens.
    Game_ProcessQueuedLoad();

    Profiler_Push(0xFF00FF00u, "IO&Zebo");
    IO_Update();
    Services_Update();
    Profiler_Pop();
    if (GeneralInfo_State().g_Options.freezeOnLostFocus && !Window_HasFocus()) return;
    if (!Room_State().Run_Room) return;

    Profiler_Push(0xFF0000FFu, "Update");
    bool anyTimeline = false, anyPath = false;
    // This walk also writes the order that the later walks of the step prefetch by.
    RoomList& active = Room_State().Run_Room->active;
    size_t k = 0;
    for (CInstance* i = active.first; i; ++k) {
        CInstance* next = i->next;
        RoomList_Prefetch(active, k + kPrefetchAhead);
        Hint_Put(active.order, k, i);
        if (i->Present()) {
            i->xprevious = i->x;
            i->yprevious = i->y;
            i->path_positionprevious = i->path_position;
            const int images = i->GetImageNumber();
            i->image_index = static_cast<float>(static_cast<double>(i->image_index) + i->image_speed);
            if (std::trunc(i->image_index) >= images) {
                i->image_index = static_cast<float>(static_cast<double>(i->image_index) - images);
                PerformInstanceEvent(i, i, ev_other, ev_animation_end);
            } else if (i->image_index < 0) {
                i->image_index = static_cast<float>(static_cast<double>(i->image_index) + images);
                PerformInstanceEvent(i, i, ev_other, ev_animation_end);
            }
            anyTimeline = anyTimeline || i->timeline_running;
            anyPath = anyPath || i->path_index >= 0;
        }
        i = next;
    }
    Hint_End(active.order, k);

    bool stopped = true;
    do {
        Dispatch_Step(ev_step_begin);
        if (StageEnds()) break;
        Network_Poll();
        Steam_Update();
        if (StageEnds()) break;
        if (anyTimeline) {
            Dispatch_Timelines();
            if (StageEnds()) break;
        }
        Dispatch_Alarms();
        if (StageEnds()) break;
        Dispatch_KeyboardAll();
        if (StageEnds()) break;
        Dispatch_Joysticks();
        if (StageEnds()) break;
        Dispatch_Mouse();
        if (StageEnds()) break;
        Dispatch_Step(ev_step_normal);
        if (StageEnds()) break;
        const bool physics = Run_MoveInstances(anyPath);
        if (StageEnds()) break;
        Dispatch_Boundaries();
        if (StageEnds()) break;
        Dispatch_AsyncQueue();
        if (StageEnds()) break;
        if (!physics) {
            Dispatch_Collisions();
            if (StageEnds()) break;
        }
        Dispatch_Step(ev_step_end);
        if (StageEnds()) break;
        stopped = false;
    } while (false);
    if (stopped) {
        Profiler_Pop();
        return;
    }
    Particle_UpdateAll();
    Profiler_Pop();

    Profiler_Push(0xFF00FFFFu, "Draw");
    if (Room_State().Run_Room) Room_State().Run_Room->RemoveMarked();
    if (Frame_State().Run_DrawEnabled) {
        Room_DrawViews();
        Run_ApplyDeferredChanges();
    }
    Profiler_Pop();

    Profiler_Push(0xFF008080u, "Scroll");
    if (Room_State().Run_Room) Room_State().Run_Room->ScrollBackgrounds();
    Run_ApplyDeferredChanges();
    ++GameValues_State().Run_StepCount;
    if (CommandLine_State().Runner_Switches.debugMode && Run_State().Run_DebugForm)
        Run_State().Run_DebugForm->Update();
    Profiler_Pop();
}
