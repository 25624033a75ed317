// The numbers shared by every phase of the compiler and the code generator: token kinds (whose operator
// numbers travel unchanged into the syntax tree), resolved-token kinds and syntax-node kinds.
#pragma once

enum : int {
    // Tokens
    TOKEN_EOF = -2,
    TOKEN_ERROR = -1,
    TOKEN_IDENTIFIER = 0,
    TOKEN_NUMBER = 1,
    TOKEN_STRING = 2,

    TOKEN_BEGIN = 11, // begin, {
    TOKEN_END = 12,   // end, }
    TOKEN_IF = 13,
    TOKEN_THEN = 14,
    TOKEN_ELSE = 15,
    TOKEN_WHILE = 16,
    TOKEN_DO = 17,
    TOKEN_FOR = 18,
    TOKEN_UNTIL = 19,
    TOKEN_REPEAT = 20,
    TOKEN_EXIT = 21,
    TOKEN_BREAK = 22,
    TOKEN_CONTINUE = 23,
    TOKEN_WITH = 24,
    TOKEN_RETURN = 25,
    TOKEN_SWITCH = 26,
    TOKEN_CASE = 27,
    TOKEN_DEFAULT = 28,
    TOKEN_VAR = 29,
    TOKEN_GLOBALVAR = 30,

    TOKEN_ASSIGN = 101, // = and :=; also the equality test inside an expression
    TOKEN_ASSIGN_PLUS = 102,
    TOKEN_ASSIGN_MINUS = 103,
    TOKEN_ASSIGN_TIMES = 104,
    TOKEN_ASSIGN_DIVIDE = 105,
    TOKEN_OPEN = 106,
    TOKEN_CLOSE = 107,
    TOKEN_SEMICOLON = 108,
    TOKEN_COMMA = 109,
    TOKEN_OPEN_INDEX = 110,
    TOKEN_CLOSE_INDEX = 111,
    TOKEN_DOT = 112,
    TOKEN_COLON = 113,
    TOKEN_ASSIGN_OR = 114,
    TOKEN_ASSIGN_AND = 115,
    TOKEN_ASSIGN_XOR = 116,

    TOKEN_AND = 201, // and, &&
    TOKEN_OR = 202,  // or, ||
    TOKEN_NOT = 203, // not, !
    TOKEN_LESS = 204,
    TOKEN_LESS_EQUAL = 205,
    TOKEN_EQUAL = 206,
    TOKEN_NOT_EQUAL = 207,
    TOKEN_GREATER_EQUAL = 208,
    TOKEN_GREATER = 209,
    TOKEN_PLUS = 210,
    TOKEN_MINUS = 211,
    TOKEN_TIMES = 212,
    TOKEN_DIVIDE = 213,
    TOKEN_DIV = 214,
    TOKEN_MOD = 215, // mod, %
    TOKEN_XOR = 216, // xor, ^^
    TOKEN_BIT_OR = 217,
    TOKEN_BIT_AND = 218,
    TOKEN_BIT_XOR = 219,
    TOKEN_BIT_NOT = 220,
    TOKEN_SHIFT_LEFT = 221,
    TOKEN_SHIFT_RIGHT = 222,

    // Resolved tokens (the other kinds are copied from the tokens)
    RESOLVED_CONSTANT = 5,
    RESOLVED_CALL = 6,
    RESOLVED_VARIABLE = 7,

    // Syntax nodes
    NODE_NONE = -1, // a fresh node, and the empty statement
    NODE_EMPTY_PROGRAM = -2,
    NODE_CONSTANT = 5,
    NODE_CALL = 6,
    NODE_VARIABLE = 7,
    NODE_VARIABLE_FIXED = 8, // constant instance and no index, made by folding
    NODE_IF = 13,
    NODE_WHILE = 16,
    NODE_DO = 17,
    NODE_FOR = 18,
    NODE_REPEAT = 20,
    NODE_EXIT = 21,
    NODE_BREAK = 22,
    NODE_CONTINUE = 23,
    NODE_WITH = 24,
    NODE_RETURN = 25,
    NODE_SWITCH = 26,
    NODE_CASE = 27,
    NODE_DEFAULT = 28,
    NODE_VAR = 29,
    NODE_GLOBALVAR = 30,
    NODE_CASE_CONSTANT = 31, // made by folding
    NODE_ASSIGN = 101,
    NODE_BLOCK = 1000,
    NODE_UNARY = 1010,
    NODE_BINARY = 1011,
};

// The instance code a variable written without an instance gets, and the one folding gives a declared
// local.
constexpr int kInstanceUnspecified = -6;
constexpr int kInstanceLocal = -7;

// How deeply syntax nodes may nest, and how deeply the parser may recurse. Every pass that recurses over
// a syntax tree relies on it: the parser refuses deeper text with a compile error.
constexpr int kCodeTreeMaxDepth = 1000;
