// The maths group of built-in functions (registered by InitMathFunctions together with the string
// group) and the two arithmetic operators that compiled scripts call. The comparison tolerance that
// math_set_epsilon sets is the machine's (Code_Epsilon, script/vm/vm.h).
#pragma once

// a modulo b as the C library's fmod.
double Math_Mod(double a, double b);
// Both operands truncated to signed 64-bit integers, then the truncated quotient as a real. A divisor
// that truncates to 0 is reported as a division by zero and gives 0.
double Math_Div(double a, double b);

// Registers the string group; InitMathFunctions calls it after the maths group.
void String_RegisterFunctions();
