-- A state machine and a command decoder written as if-elseif chains, as Lua has no switch.
local state, count, energy, spent = 0, 0, 0, 0
for i = 0, 14999999 do
  local input = (i * 7 + state) % 5
  if state == 0 then
    if input == 1 then state = 1 elseif input == 4 then state = 3 end
  elseif state == 1 then
    energy = energy + 2
    if input > 2 then state = 2 end
  elseif state == 2 then
    count = count + 1
    state = 0
  elseif state == 3 then
    energy = energy - 1
    if energy < 0 then energy = 0 end
    state = 4
  elseif state == 4 or state == 5 then
    state = input % 3
  else
    state = 0
  end
  local command = i % 8
  if command == 0 then spent = spent + 1
  elseif command == 1 then spent = spent + 3
  elseif command == 2 then spent = spent - 2
  elseif command == 3 then
  elseif command == 4 then spent = spent * 1
  elseif command == 5 then spent = spent + state
  elseif command == 6 then spent = spent - 1
  elseif command == 7 then spent = spent + 2
  end
end
print("result " .. count .. " " .. energy .. " " .. spent)
