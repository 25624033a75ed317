-- Two-dimensional arrays: Conway's game of life on a wrapping 64 x 48 grid, as tables of rows.
local w, h = 64, 48
local cells, nxt = {}, {}
for i = 0, w - 1 do
  cells[i], nxt[i] = {}, {}
  for j = 0, h - 1 do
    cells[i][j] = ((i * 7 + j * 13) % 5 == 0 or (i + j) % 11 == 3) and 1 or 0
    nxt[i][j] = 0
  end
end
for _ = 0, 1999 do
  for i = 0, w - 1 do
    local im, ip = (i + w - 1) % w, (i + 1) % w
    for j = 0, h - 1 do
      local jm, jp = (j + h - 1) % h, (j + 1) % h
      local n = cells[im][jm] + cells[i][jm] + cells[ip][jm] + cells[im][j] + cells[ip][j]
              + cells[im][jp] + cells[i][jp] + cells[ip][jp]
      if cells[i][j] == 1 then
        nxt[i][j] = (n == 2 or n == 3) and 1 or 0
      else
        nxt[i][j] = n == 3 and 1 or 0
      end
    end
  end
  for i = 0, w - 1 do
    for j = 0, h - 1 do cells[i][j] = nxt[i][j] end
  end
end
local alive = 0
for i = 0, w - 1 do
  for j = 0, h - 1 do alive = alive + cells[i][j] end
end
print("result " .. alive)
