local instances = {}
for i = 1, 1000 do instances[i] = { x = 0 } end
for _ = 1, 100 do
  for _, self in ipairs(instances) do self.x = self.x + 1 end
end
return 0
