#include "world/timeline.h"

#include "core/console.h"
#include "core/name_map.h"
#include "data/code_chunk.h"
#include "data/container.h"
#include "script/compiled_game.h"
#include "script/script.h"
#include "script/value.h"
#include "world/event.h"
#include "world/room.h"

#include <algorithm>
#include <memory>

namespace {

struct TimeLineSlot {
    std::unique_ptr<CTimeLine> timeline;
    std::string name; // the table's own copy
};
std::vector<TimeLineSlot> g_timelines;
// The first timeline of each name: compiled code looks names up all the time.
NameIndex g_nameIndex;

} // namespace

CTimeLine::~CTimeLine() {
    Clear();
}

void CTimeLine::Clear() {
    for (Handler& handler : m_handlers)
        Event_Release(handler.event);
    m_handlers.clear();
    m_steps.clear();
}

bool CTimeLine::LoadFromRecord(const CDataView& file, uint32_t offset, bool textMode) {
    Clear();
    uint32_t count;
    if (!file.U32(offset + 4ull, &count) || !file.Holds(offset + 8ull, 8ull * count)) {
        return Load_Fail("Chunk TMLN: a timeline record lies outside the file");
    }
    m_steps.reserve(count);
    m_handlers.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = offset + 8ull + 8ull * i;
        const int32_t step = static_cast<int32_t>(file.WordAt(at));
        if (!m_steps.empty() && step <= m_steps.back()) {
            return Load_Fail("Chunk TMLN: the moments of a timeline are not in ascending order");
        }
        auto* event = new CEvent();
        m_steps.push_back(step);
        m_handlers.push_back(Handler{event, -1});
        if (!event->Load(file, file.WordAt(at + 4), textMode, "TMLN")) return false;
    }
    return true;
}

bool CTimeLine::Compile() {
    Event_State().event_type = kEventTypeTimeline;
    for (size_t i = 0; i < m_steps.size(); ++i) {
        Event_State().event_number = m_steps[i];
        if (m_handlers[i].event && !m_handlers[i].event->Compile()) return false;
    }
    return true;
}

CTimeLine::Handler CTimeLine::GetHandler(int i) const {
    if (i < 0 || i >= GetMomentCount()) return Handler{};
    return m_handlers[static_cast<size_t>(i)];
}

int CTimeLine::GetStep(int i) const {
    if (i < 0 || i >= GetMomentCount()) return 0;
    return m_steps[static_cast<size_t>(i)];
}

int CTimeLine::FindMoment(int t) const {
    auto it = std::lower_bound(m_steps.begin(), m_steps.end(), t);
    return it != m_steps.end() && *it == t ? static_cast<int>(it - m_steps.begin()) : -1;
}

int CTimeLine::FindFirstAtOrAfter(double position) const {
    int i = 0;
    while (i < GetMomentCount() && m_steps[static_cast<size_t>(i)] < position)
        ++i;
    return i;
}

int CTimeLine::FindLastAtOrBefore(double position) const {
    int i = GetMomentCount() - 1;
    while (i >= 0 && m_steps[static_cast<size_t>(i)] > position)
        --i;
    return i;
}

void CTimeLine::AddMomentScript(int t, int script) {
    if (FindMoment(t) >= 0) return;
    const size_t at = static_cast<size_t>(std::lower_bound(m_steps.begin(), m_steps.end(), t) - m_steps.begin());
    m_steps.insert(m_steps.begin() + static_cast<std::ptrdiff_t>(at), t);
    m_handlers.insert(m_handlers.begin() + static_cast<std::ptrdiff_t>(at), Handler{nullptr, script});
}

void CTimeLine::SetMomentScript(int t, int script) {
    const int i = FindMoment(t);
    if (i < 0) return;
    Handler& handler = m_handlers[static_cast<size_t>(i)];
    Event_Release(handler.event);
    handler = Handler{nullptr, script};
}

void CTimeLine::DeleteMoment(int t) {
    const int i = FindMoment(t);
    if (i < 0) return;
    Event_Release(m_handlers[static_cast<size_t>(i)].event);
    m_handlers.erase(m_handlers.begin() + i);
    m_steps.erase(m_steps.begin() + i);
}

// ---- The table

void TimeLine_Init() {
    TimeLine_Free();
}

void TimeLine_Free() {
    g_timelines.clear();
    g_nameIndex.MarkStale();
}

bool TimeLine_Load(const CDataView& file, const IFFChunk&, const std::vector<uint32_t>& list) {
    TimeLine_Init();
    const bool textMode = !Code_IsPresent() && !CompiledGame_Mode();
    g_timelines.resize(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == 0) continue;
        bool ok = false;
        const char* name = file.Text(file.WordAt(list[i]), &ok);
        if (!ok) {
            return Load_Fail("Chunk TMLN: a timeline name lies outside the file");
        }
        g_timelines[i].name = name ? name : "";
        g_nameIndex.MarkStale();
        g_timelines[i].timeline = std::make_unique<CTimeLine>();
        if (!g_timelines[i].timeline->LoadFromRecord(file, list[i], textMode)) return false;
    }
    return true;
}

bool TimeLine_Prepare() {
    for (size_t i = 0; i < g_timelines.size(); ++i) {
        if (!g_timelines[i].timeline) continue;
        Event_State().event_object = static_cast<int32_t>(i);
        if (!g_timelines[i].timeline->Compile()) return false;
    }
    return true;
}

bool TimeLine_Exists(int index) {
    return TimeLine_Get(index) != nullptr;
}

CTimeLine* TimeLine_Get(int index) {
    if (index < 0 || static_cast<size_t>(index) >= g_timelines.size()) return nullptr;
    return g_timelines[static_cast<size_t>(index)].timeline.get();
}

const char* TimeLine_GetName(int index) {
    if (!TimeLine_Exists(index)) return "<undefined>";
    return g_timelines[static_cast<size_t>(index)].name.c_str();
}

int TimeLine_Find(const char* name) {
    return g_nameIndex.Find(name, [](auto add) {
        for (size_t i = 0; i < g_timelines.size(); ++i)
            if (g_timelines[i].timeline) add(g_timelines[i].name.c_str(), static_cast<int>(i));
    });
}

int TimeLine_Add() {
    const int index = static_cast<int>(g_timelines.size());
    g_nameIndex.MarkStale();
    g_timelines.push_back(TimeLineSlot{std::make_unique<CTimeLine>(), "__newtimeline" + std::to_string(index)});
    return index;
}

bool TimeLine_Delete(int index) {
    if (!TimeLine_Exists(index)) return false;
    g_timelines[static_cast<size_t>(index)] = TimeLineSlot{};
    g_nameIndex.MarkStale();
    return true;
}

int TimeLine_Count() {
    return static_cast<int>(g_timelines.size());
}

void PerformTimelineMoment(CInstance* self, CInstance* other, int timeline, int moment) {
    if (Room_State().New_Room != -1) return;
    CTimeLine* line = TimeLine_Get(timeline);
    if (!line || moment < 0 || moment >= line->GetMomentCount()) return;
    const CTimeLine::Handler handler = line->GetHandler(moment);
    if (!handler.event && handler.script < 0) return;
    const int32_t savedObject = Event_State().event_object, savedType = Event_State().event_type,
                  savedNumber = Event_State().event_number;
    Event_State().event_object = timeline;
    Event_State().event_type = kEventTypeTimeline;
    Event_State().event_number = line->GetStep(moment);
    if (handler.event) {
        handler.event->Execute(self, other);
    } else {
        ScriptValue result;
        Script_Perform(handler.script, self, other, 0, &result, nullptr);
        Value_Free(&result);
    }
    Event_State().event_object = savedObject;
    Event_State().event_type = savedType;
    Event_State().event_number = savedNumber;
}
