#pragma once

#include <QStringList>

namespace nimbra {

// Whether an X server that offers these extensions renders OpenGL on a GPU:
// direct rendering (DRI3, DRI2) or the NVIDIA driver's own GLX.
bool XServerRendersGlOnGpu(const QStringList& extensions);

// Where OpenGL could only be emulated on the CPU (an X server without direct
// rendering: Xvfb, VNC servers), windows and pages are drawn by Qt Quick's
// software renderer and no OpenGL is set up at all. The emulation compiles
// shaders and fills buffers on the CPU, which costs more start-up time and
// memory than the software renderer; pages get no WebGL there either way.
// A choice made through QT_QUICK_BACKEND, QMLSCENE_DEVICE or
// QT_XCB_GL_INTEGRATION is kept. Call before the application object exists;
// returns whether the software renderer was chosen.
bool UseSoftwareRenderingWithoutGpu();

} // namespace nimbra
