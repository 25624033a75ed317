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

    double Real(int type) {
        double d = 0;
        if (ok && !Buffer_ReadReal(buffer, type, &d)) ok = false;
        return ok ? d : 0;
    }
    int32_t Int() { return X86_DoubleToInt32(Real(eBuffer_S32)); }
    uint32_t UInt() { return X86_DoubleToUInt32(Real(eBuffer_U32)); }
    float Float() { return X86_DoubleToFloat(Real(eBuffer_F32)); }
    uint8_t Flag() { return Real(eBuffer_S32) != 0; }
    // A string into slot (what it held is freed; 0x04 gives null); false, clearing ok, when no whole
    // string is left.
    bool Text(char*& slot) {
        if (!ok || !buffer->CanRead(eBuffer_String)) return ok = false;
        MEM_FREE(slot);
        slot = buffer->ReadString();
        return true;
    }
};
