// Timelines: lists of moments, each a time step with code (an event handler or a script) that runs when
// an instance's timeline position passes it; the timeline table, loaded from the "TMLN" chunk and
// edited by scripts.
#pragma once

#include "data/data_view.h"

#include <cstdint>
#include <string>
#include <vector>

class CEvent;
class CInstance;

class CTimeLine {
public:
    CTimeLine() = default;
    virtual ~CTimeLine();
    CTimeLine(const CTimeLine&) = delete;
    CTimeLine& operator=(const CTimeLine&) = delete;

    // One moment's handler: a CEvent (owned) or a script, never both.
    struct Handler {
        CEvent* event = nullptr;
        int script = -1;
    };

    void Clear();
    // Reads the moments of the record at offset: {name offset, count n, n x (step, action list offset)}.
    // False, with a message on the debug console, when the record does not fit the file.
    bool LoadFromRecord(const CDataView& file, uint32_t offset, bool textMode);
    bool Compile();

    int GetMomentCount() const { return static_cast<int>(m_steps.size()); }
    // Null (no event, no script) when i is out of range.
    Handler GetHandler(int i) const;
    int GetStep(int i) const;
    int FindMoment(int t) const;
    int FindFirstAtOrAfter(double position) const;
    int FindLastAtOrBefore(double position) const;
    void AddMomentScript(int t, int script);
    void SetMomentScript(int t, int script);
    void DeleteMoment(int t);

private:
    std::vector<int32_t> m_steps; // ascending, no step twice
    std::vector<Handler> m_handlers;
};

void TimeLine_Init();
// The "TMLN" chunk loader (list: its checked record offsets; 0 = empty slot).
bool TimeLine_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
bool TimeLine_Prepare();
bool TimeLine_Exists(int index);
CTimeLine* TimeLine_Get(int index);
// "<undefined>" when the slot is out of range or empty.
const char* TimeLine_GetName(int index);
int TimeLine_Find(const char* name);
int TimeLine_Add();
bool TimeLine_Delete(int index);
int TimeLine_Count();
void TimeLine_Free();

// Runs moment index of timeline for self and other (event_type 100000, event_number the moment's step,
// event_object the timeline). A handler that its own run replaces or deletes stays alive until the
// run ends.
void PerformTimelineMoment(CInstance* self, CInstance* other, int timeline, int moment);
