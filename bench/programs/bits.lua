-- Bitwise operators: a xorshift random number generator, bit counts and flag tests.
local state = 246353424
local bits, hits = 0, 0
for i = 0, 4999999 do
  state = state ~ ((state << 13) & 0x7FFFFFFF)
  state = state ~ (state >> 17)
  state = state ~ ((state << 5) & 0x7FFFFFFF)
  local low = state & 0xFFFF
  while low ~= 0 do
    low = low & (low - 1)
    bits = bits + 1
  end
  local flags = state >> 28
  if (flags & 1) ~= 0 and (flags | 4) ~= flags then hits = hits + 1 end
  if (state & 0xF0) == 0xA0 or (~state & 3) == 0 then hits = hits + 2 end
end
print("result " .. state .. " " .. bits .. " " .. hits)
