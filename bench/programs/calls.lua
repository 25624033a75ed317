-- Function calls with three to six arguments: the small helpers game code is made of.
local function clamp_value(v, lo, hi)
  if v < lo then return lo end
  if v > hi then return hi end
  return v
end
local function lerp_value(a, b, t)
  return a + (b - a) * t
end
local function dist_sq(x1, y1, x2, y2)
  local dx, dy = x2 - x1, y2 - y1
  return dx * dx + dy * dy
end
local function box_overlap(x1, y1, x2, y2, w, h)
  return x1 < x2 + h and x2 < x1 + w and y1 < y2 + h and y2 < y1 + w
end
local function mix5(a, b, c, d, e)
  return (a * 3 + b * 5 + c * 7 + d * 11 + e * 13) % 1000
end
local total, hits = 0, 0
for i = 0, 3999999 do
  local a = clamp_value(i % 300, 50, 250)
  local b = lerp_value(a, 100, 0.25)
  total = total + dist_sq(a, b, 120, 80) % 1000
  if box_overlap(a, b, 100, 90, 30, 20) then hits = hits + 1 end
  total = total + mix5(i, a, b, hits, 1)
end
print("result " .. math.floor(total) .. " " .. hits)
