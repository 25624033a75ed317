-- Instance variables: the controller's own fields, other instances' fields through references.
local self = {x = 0, y = 0}
local enemy = {}
local n = 100
for i = 0, n - 1 do
  local id = 100002 + i
  enemy[i] = {x = i * 13 % 640, y = i * 29 % 480, hp = 100, armour = 1 + id % 3}
end
self.range = 150
self.damage = 4
local hits, killed = 0, 0
self.x = 320
self.y = 240
for _ = 0, 119999 do
  for i = 0, n - 1 do
    local e = enemy[i]
    local dx = e.x - self.x
    local dy = e.y - self.y
    if dx * dx + dy * dy < self.range * self.range then
      e.hp = e.hp - (self.damage - e.armour)
      hits = hits + 1
      if e.hp <= 0 then
        e.hp = 100
        killed = killed + 1
      end
    elseif e.hp < 100 then
      e.hp = e.hp + self.damage
    end
  end
  self.x = (self.x + 7) % 640
  self.y = (self.y + 3) % 480
end
print("result " .. hits .. " " .. killed)
