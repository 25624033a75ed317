// Writing and reading the saved form of world state (instances, rooms) as typed buffer values.
#pragma once

#include "core/convert.h"
#include "core/memory.h"
#include "script/buffer.h"

#include <cstdint>

inline void Saved_WriteInt(IBuffer* b, int32_t v) {
    Buffer_WriteReal(b, eBuffer_S32, v);
}
inline void Saved_WriteFloat(IBuffer* b, float v) {
    Buffer_WriteReal(b, eBuffer_F32, v);
}

// Reads of the saved form: each gives 0 and clears ok once the bytes run out.
struct SavedReader {
    IBuffer* buffer;
    bool ok = true;
    bool badFlag = false; // ok was cleared by a flag other than 0 or 1

    double Real(int type) {
        double d = 0;
        if (ok && !Buffer_ReadReal(buffer, type, &d)) ok = false;
        return ok ? d : 0;
    }
    int32_t Int() { return X86_DoubleToInt32(Real(eBuffer_S32)); }
    uint32_t UInt() { return X86_DoubleToUInt32(Real(eBuffer_U32)); }
    float Float() { return X86_DoubleToFloat(Real(eBuffer_F32)); }
    // A flag is written as 0 or 1; any other word is damage, and clears ok.
    uint8_t Flag() {
        const double d = Real(eBuffer_S32);
        if (d != 0 && d != 1) ok = false, badFlag = true;
        return d == 1;
    }
    // What cleared ok, for messages.
    const char* Damage() const { return badFlag ? "holds a flag other than 0 or 1" : "is cut short"; }
    // A string into slot (what it held is freed; 0x04 gives null); false, clearing ok, when no whole
    // string is left.
    bool Text(char*& slot) {
        if (!ok || !buffer->CanRead(eBuffer_String)) return ok = false;
        MEM_FREE(slot);
        slot = buffer->ReadString();
        return true;
    }
};
