-- Globals: game state kept in global variables.
points = 0
multiplier = 1
next_bonus = 10000
coins = 3
stage = 1
function add_score(amount)
  points = points + amount * multiplier
  if points >= next_bonus then
    coins = coins + 1
    next_bonus = next_bonus + 10000
  end
end
for i = 0, 9999999 do
  add_score(i % 10)
  if points > stage * 50000 then
    stage = stage + 1
    multiplier = 1 + stage % 4
  end
  if coins > 50 then coins = coins - 40 end
end
print("result " .. points .. " " .. coins .. " " .. stage)
