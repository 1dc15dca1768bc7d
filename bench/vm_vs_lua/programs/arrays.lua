local total = 0
local a = {}
for k = 1, 40 do
  for i = 0, 100000 do a[i] = i + k end
  for i = 0, 100000 do total = total + (a[i] & 15) end
end
print(total)
