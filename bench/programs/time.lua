-- Runs a Lua program once to warm up, then the given number of times, and prints the best time.
local path, reps = arg[1], tonumber(arg[2] or "5")
local f = assert(loadfile(path))
f()
local best = math.huge
for _ = 1, reps do
  local t0 = os.clock()
  f()
  local t = os.clock() - t0
  if t < best then best = t end
end
print(string.format("%.3f ms", best * 1000))
