// Text to bytecode: the listing the disassembler prints, and what tests write by hand.
//
// One instruction or directive per line; ";" starts a comment (outside a quoted string). A line may
// start with a hexadecimal offset ("0x0010", ignored) and with labels ("loop:").
//   mnemonic[.type1[.type2]] operands    types: d f i l b v s e, or a nibble 0-15
//   push.d 1.5 | push.f 0.25 | push.i -3 | push.l 1 | push.b 1 | push.e 5 | push.s 3 | push.s "text"
//   push.v self.100002        instance: self other all noone global builtin local, a number
//                             (an instance id from 67232 sets the +100000 bit), or "stack" (popped)
//   push.v stack.100002[]     "[]": an array index is popped
//   pop.v.i global.100001 | pop.i.v stack.5[] | pop.e.v k m   (pop.e: field bytes k, m)
//   dup.i [n] | call.i id argc | break.e n | ret.v | exit.i | popz.v | conv.i.d | add.i.v ...
//   b label | bt 0x0040 (byte offset) | bf @-3 (word offset) | pushenv l | popenv l | popenv leave
//   .word w, w ... (32-bit words) | .byte b ... | .pos n (debug pair: current offset, text position n)
// Doubles and floats may also be given as their bits in hexadecimal (0x3FF8000000000000).
#pragma once

#include <functional>
#include <string>

class VMWriteBuffer;

struct VMAsmOptions {
    // Handle of a quoted push.s text; without it quoted texts are an error.
    std::function<int(const char* text)> internString;
    // Ids of names used in variable references and calls; a negative result is an error.
    std::function<int(const char* name)> variableId;
    std::function<int(const char* name)> functionId;
};

// Appends the listing's bytes to code, and its .pos pairs to debug when given. False with
// "line N: message" in error at the first fault.
bool VM_Assemble(const char* listing, VMWriteBuffer& code, VMWriteBuffer* debug, std::string& error,
                 const VMAsmOptions& options = {});
