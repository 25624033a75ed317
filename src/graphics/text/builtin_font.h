// The built-in font, used while no valid font is set.
#pragma once

// Makes the built-in font once per run, over a texture of embedded image 15.
void Text_CreateDefaultFont();
