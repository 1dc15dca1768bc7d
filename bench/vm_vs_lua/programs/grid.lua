local total = 0
local m = {}
for pass = 1, 60 do
  for y = 0, 200 do
    local row = m[y] or {}
    m[y] = row
    for x = 0, 200 do
      row[x] = x * y + pass
    end
  end
  for y = 0, 200 do
    local row = m[y]
    for x = 0, 200 do
      total = total + (row[x] & 7)
    end
  end
end
print(total)
