// Frames of a room of 10,000 instances, each moving in its step event (code compiled from source), run
// through the whole frame: the wait (never sleeping: the room speed is far above what a frame takes),
// one step with every stage, and the draw pass. Reports steps per second. Instances have no sprite, so
// nothing is drawn yet.
#include <benchmark/benchmark.h>

#include "io/message_pump.h"
#include "runner/run_loop.h"
#include "script/code.h"
#include "script/compiler/constants.h"
#include "script/variables.h"
#include "world/builtin_variables.h"
#include "world/dispatch.h"
#include "world/event.h"
#include "world/instance.h"
#include "world/object.h"
#include "world/room.h"

namespace {

constexpr int kInstances = 10000;

void MakeRoom() {
    Code_Constant_Init();
    Variable_BuiltIn_Init();
    Variable_InitGlobals();
    World_InstallScriptServices();
    Object_Init();
    const int o = Object_Add();
    CObject* object = Object_Data(o);
    auto& steps = object->events[ev_step];
    steps.SetLength(1);
    auto* event = new CEvent();
    event->textMode = true;
    event->source = "x += 1; if (x > 640) x = 0;";
    event->code = new CCode(event->source, 0);
    steps[0] = event;
    if (!event->Compile()) std::abort();
    Room_State().Run_Room = new CRoom();
    Room_State().Run_Room->speed = 1000000;
    for (int i = 0; i < kInstances; ++i)
        Room_State().Run_Room->CreateInstance(static_cast<float>(i % 640), static_cast<float>(i / 640), o);
    Object_CreateEventLists();
    MessagePump_State().Run_Running = 1;
    Run_EnterMainLoop();
}

void BM_FramesOfMovingInstances(benchmark::State& state) {
    static const bool made = (MakeRoom(), true);
    (void)made;
    for (auto _ : state) {
        Run_Frame();
        if (!MessagePump_State().Run_Running) state.SkipWithError("the game stopped");
    }
    state.counters["steps_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                            benchmark::Counter::kIsRate);
    state.counters["instances"] = kInstances;
}
BENCHMARK(BM_FramesOfMovingInstances)->Iterations(200)->Unit(benchmark::kMillisecond);

} // namespace
