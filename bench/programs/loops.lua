-- while and repeat loops: Collatz sequence lengths, and counting with nested repeats.
local longest = 0
local start = 1
while start < 200000 do
  local n = start
  local steps = 0
  while n ~= 1 do
    if n % 2 == 0 then n = n / 2 else n = 3 * n + 1 end
    steps = steps + 1
  end
  if steps > longest then longest = steps end
  start = start + 1
end
local total = 0
for _ = 1, 2000 do
  local k = 0
  for _ = 1, 1000 do
    k = k + 2
    total = total + k
  end
  repeat
    k = k - 100
    total = total - 1
  until k <= 0
end
print("result " .. longest .. " " .. total)
