local s = 0
local i = 0
while i < 1000000 do
  s = s + i * 2 - i // 3
  i = i + 1
end
return s
