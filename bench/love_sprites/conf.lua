-- 800 x 600, vsync off, only the modules the comparison needs.
function love.conf(t)
    t.identity = nil
    t.window.title = "sprites"
    t.window.width = 800
    t.window.height = 600
    t.window.vsync = 0
    t.window.resizable = false
    t.modules.audio = false
    t.modules.sound = false
    t.modules.joystick = false
    t.modules.physics = false
    t.modules.video = false
    t.modules.touch = false
end
