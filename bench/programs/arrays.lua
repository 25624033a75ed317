local a = {}
local s = 0
for _ = 1, 10 do
  local i = 0
  while i < 30000 do a[i] = i; i = i + 1 end
  i = 0
  while i < 30000 do s = s + a[i]; i = i + 1 end
end
return s
