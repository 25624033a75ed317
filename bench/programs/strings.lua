-- Texts: a line built piece by piece, then read back character by character, searched and cut.
local char, sub, find = string.char, string.sub, string.find
local total = 0
local line
for _ = 1, 15000 do
  line = ""
  for i = 0, 199 do
    line = line .. char(97 + i % 26)
    if i % 7 == 6 then line = line .. "," end
  end
  local count = 0
  for i = 1, #line do
    if sub(line, i, i) == "e" then count = count + 1 end
  end
  local rest = line
  local words = 0
  local p = find(rest, ",", 1, true)
  while p do
    local word = sub(rest, 1, p - 1)
    total = total + #word
    rest = sub(rest, p + 1)
    words = words + 1
    p = find(rest, ",", 1, true)
  end
  total = total + count + words
end
print("result " .. total .. " " .. sub(line, 1, 20))
