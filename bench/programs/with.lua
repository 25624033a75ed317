-- Every mover of a list steps, bounces off the edges and counts its bounces.
local movers = {}
for i = 0, 999 do
  local id = 100002 + i
  movers[#movers + 1] = {x = i % 640, y = (i * 7) % 480, vx = (id % 7) - 3, vy = (id % 5) - 2, bounces = 0}
end
for _ = 1, 12000 do
  for k = #movers, 1, -1 do
    local m = movers[k]
    m.x = m.x + m.vx
    m.y = m.y + m.vy
    if m.x < 0 or m.x > 640 then m.vx = -m.vx; m.bounces = m.bounces + 1 end
    if m.y < 0 or m.y > 480 then m.vy = -m.vy; m.bounces = m.bounces + 1 end
  end
end
local total = 0
for k = 1, #movers do total = total + movers[k].bounces end
print("result " .. total)
