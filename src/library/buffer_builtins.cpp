#include "library/buffer_table.h"
#include "library/builtin.h"
#include "library/library_builtins.h"
#include "script/buffer.h"
#include "script/vm/vm_error.h"

namespace {

// buffer_create(size, kind, alignment): the index of a new buffer; a negative size is refused with -1.
void F_buffer_create(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, -1.0);
    const int size = args.Rounded(0);
    if (size < 0) {
        Code_Error_Report("buffer_create: Illegal buffer size", false);
        return;
    }
    Value_SetReal(&result, Buffer_Create(size, args.Rounded(1), args.Rounded(2)));
}

// buffer_fill(buffer, offset, type, value, size): the value in every aligned slot of the range, the bytes
// between them cleared.
void F_buffer_fill(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, 0.0);
    IBuffer* buffer = Buffer_Get(args.Rounded(0));
    if (!buffer) {
        Code_Error_Report("buffer_fill: Illegal buffer index", false);
        return;
    }
    buffer->Fill(args.Rounded(1), args.Rounded(4), args.Rounded(2), args.At(3), -1, true);
}

const BuiltInRegistration kBufferFunctions[] = {
    BUILTIN_ENTRY(buffer_create, 3),
    BUILTIN_ENTRY(buffer_fill, 5),
};

} // namespace

void InitBufferFunctions() {
    BuiltIn_Register(kBufferFunctions);
}
