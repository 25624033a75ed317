#include "runner/backends.h"

#include "device/device.h"
#include "device/gl/gl_context.h"
#include "device/gl/gl_device.h"
#include "device/recording/recording_device.h"

void Runner_RegisterBackends() {
    D3D_RegisterBackend(D3DBackend::OpenGL, GL_CreateDevice);
    D3D_RegisterBackend(D3DBackend::Recording, Recording_CreateDevice);
    // The main window is made for OpenGL whichever backend draws, when there is a GL driver.
    D3D_SetWindowPreparer(GL_KeepDriverLoaded);
}
