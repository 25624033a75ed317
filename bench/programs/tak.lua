-- Recursion with several arguments: the Takeuchi function.
local function tak(x, y, z)
  if y >= x then return z end
  return tak(tak(x - 1, y, z), tak(y - 1, z, x), tak(z - 1, x, y))
end
local total = 0
for i = 0, 399 do
  total = total + tak(18 + i % 3, 12, 6)
end
print("result " .. total)
