-- The same work as bench/sprites_bench.cpp: 10,000 images of 26 x 37 (opaque orange framed by a
-- one-pixel light border), image i starting at ((i * 37) mod 800, (i * 53) mod 600) and moving one
-- pixel right a frame, wrapping to 0 past 800; cleared to black and drawn every frame, vsync off.
-- Runs 10 warm-up frames, then the number of frames given on the command line (default 300), and
-- prints the frame rate of those and the CPU time of the process (all threads) per frame. A second
-- number on the command line sets the number of images (default 10,000).
local COUNT, WIDTH, HEIGHT, SW, SH = 10000, 800, 600, 26, 37

local image
local xs, ys = {}, {}

local function makeImage()
    local data = love.image.newImageData(SW, SH)
    data:mapPixel(function(x, y)
        if x == 0 or y == 0 or x == SW - 1 or y == SH - 1 then
            return 0xFF / 255, 0xE0 / 255, 0xA0 / 255, 1
        end
        return 0xC0 / 255, 0x80 / 255, 0x40 / 255, 1
    end)
    return love.graphics.newImage(data)
end

local function step()
    for i = 1, COUNT do
        local x = xs[i] + 1
        if x > WIDTH then x = 0 end
        xs[i] = x
    end
end

local function draw()
    love.graphics.clear(0, 0, 0, 1)
    for i = 1, COUNT do
        love.graphics.draw(image, xs[i], ys[i])
    end
    love.graphics.present()
end

function love.run()
    local frames = 300
    local numbers = {}
    for _, a in ipairs(arg) do
        if tonumber(a) then numbers[#numbers + 1] = tonumber(a) end
    end
    frames = numbers[1] or frames
    COUNT = numbers[2] or COUNT
    love.graphics.setDefaultFilter("nearest", "nearest")
    image = makeImage()
    for i = 0, COUNT - 1 do
        xs[i + 1] = (i * 37) % WIDTH
        ys[i + 1] = (i * 53) % HEIGHT
    end
    local function frame()
        love.event.pump()
        for _ in love.event.poll() do end
        step()
        draw()
    end
    for _ = 1, 10 do frame() end
    local start = love.timer.getTime()
    local cpuStart = os.clock()
    for _ = 1, frames do frame() end
    local seconds = love.timer.getTime() - start
    local cpu = os.clock() - cpuStart
    local _, _, _, renderer = love.graphics.getRendererInfo()
    print(string.format("love frames=%d seconds=%.3f frames_per_second=%.2f cpu_ms_per_frame=%.2f renderer=%s",
                        frames, seconds, frames / seconds, cpu * 1000 / frames, renderer))
    io.stdout:flush()
    return function() return 0 end
end
