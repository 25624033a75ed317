-- One-dimensional arrays: a sieve of primes grown element by element, then read and written by index.
local n = 30000
local total = 0
for _ = 1, 700 do
  local flags = {}
  for i = 0, n do flags[i] = 1 end
  flags[0] = 0
  flags[1] = 0
  local i = 2
  while i * i <= n do
    if flags[i] == 1 then
      for j = i * i, n, i do flags[j] = 0 end
    end
    i = i + 1
  end
  local primes = {}
  local count = 0
  for k = 2, n do
    if flags[k] == 1 then
      primes[count] = k
      count = count + 1
    end
  end
  for k = 1, count - 1 do total = total + primes[k] - primes[k - 1] end
  total = total + count
end
print("result " .. total)
