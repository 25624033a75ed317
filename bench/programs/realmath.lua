-- Real arithmetic with the maths library: sqrt, sin, cos, floor, and a point_distance of our own.
local sin, cos, sqrt, floor = math.sin, math.cos, math.sqrt, math.floor
local function point_distance(x1, y1, x2, y2)
  local dx, dy = x2 - x1, y2 - y1
  return sqrt(dx * dx + dy * dy)
end
local acc, steps = 0, 0
for i = 0, 4999999 do
  local px = sin(i * 0.001) * 100 + 50
  local py = cos(i * 0.0007) * 80 - 20
  local d = point_distance(10, 20, px, py)
  acc = acc + sqrt(d) + floor(px / 7) * 0.5
  if px > py then steps = steps + 1 end
end
print("result " .. floor(acc / 10000) .. " " .. steps)
