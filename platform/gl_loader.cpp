// The OpenGL entry points the 3D device calls, found through the GL library SDL loaded for
// the context (GLX or EGL): linked to one GL library, a game could not start where only the
// other is installed (a headless machine often has EGL alone).
// A new gl call needs its line here: without it the link fails naming it.
#include <SDL2/SDL.h>
#include <SDL2/SDL_opengl.h>

// Each entry is looked up on its first call made with a GL library loaded and kept from then
// on; before that, or without the function, it answers as GL does with no context (nothing
// drawn, no error, no string). Only the thread that owns the context calls these.
#define QV_GL_FORWARD(name, fallback, ...)                                                      \
  static decltype(&name) entry = nullptr;                                                      \
  if (entry == nullptr) entry = reinterpret_cast<decltype(&name)>(SDL_GL_GetProcAddress(#name)); \
  return entry != nullptr ? entry(__VA_ARGS__) : fallback

void glAlphaFunc(GLenum func, GLclampf ref) { QV_GL_FORWARD(glAlphaFunc, void(), func, ref); }
void glBindTexture(GLenum target, GLuint texture) { QV_GL_FORWARD(glBindTexture, void(), target, texture); }
void glBlendFunc(GLenum sfactor, GLenum dfactor) { QV_GL_FORWARD(glBlendFunc, void(), sfactor, dfactor); }
void glClear(GLbitfield mask) { QV_GL_FORWARD(glClear, void(), mask); }
void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
  QV_GL_FORWARD(glClearColor, void(), red, green, blue, alpha);
}
void glClearDepth(GLclampd depth) { QV_GL_FORWARD(glClearDepth, void(), depth); }
void glCullFace(GLenum mode) { QV_GL_FORWARD(glCullFace, void(), mode); }
void glDeleteTextures(GLsizei n, const GLuint* textures) { QV_GL_FORWARD(glDeleteTextures, void(), n, textures); }
void glDepthFunc(GLenum func) { QV_GL_FORWARD(glDepthFunc, void(), func); }
void glDepthMask(GLboolean flag) { QV_GL_FORWARD(glDepthMask, void(), flag); }
void glDepthRange(GLclampd near_val, GLclampd far_val) { QV_GL_FORWARD(glDepthRange, void(), near_val, far_val); }
void glDisable(GLenum cap) { QV_GL_FORWARD(glDisable, void(), cap); }
void glDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid* indices) {
  QV_GL_FORWARD(glDrawElements, void(), mode, count, type, indices);
}
void glEnable(GLenum cap) { QV_GL_FORWARD(glEnable, void(), cap); }
void glEnableClientState(GLenum cap) { QV_GL_FORWARD(glEnableClientState, void(), cap); }
void glFogf(GLenum pname, GLfloat param) { QV_GL_FORWARD(glFogf, void(), pname, param); }
void glFogfv(GLenum pname, const GLfloat* params) { QV_GL_FORWARD(glFogfv, void(), pname, params); }
void glFogi(GLenum pname, GLint param) { QV_GL_FORWARD(glFogi, void(), pname, param); }
void glFrontFace(GLenum mode) { QV_GL_FORWARD(glFrontFace, void(), mode); }
void glGenTextures(GLsizei n, GLuint* textures) { QV_GL_FORWARD(glGenTextures, void(), n, textures); }
GLenum glGetError() { QV_GL_FORWARD(glGetError, GLenum()); }
const GLubyte* glGetString(GLenum name) { QV_GL_FORWARD(glGetString, nullptr, name); }
void glHint(GLenum target, GLenum mode) { QV_GL_FORWARD(glHint, void(), target, mode); }
void glLightModelfv(GLenum pname, const GLfloat* params) { QV_GL_FORWARD(glLightModelfv, void(), pname, params); }
void glLightModeli(GLenum pname, GLint param) { QV_GL_FORWARD(glLightModeli, void(), pname, param); }
void glLightf(GLenum light, GLenum pname, GLfloat param) { QV_GL_FORWARD(glLightf, void(), light, pname, param); }
void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
  QV_GL_FORWARD(glLightfv, void(), light, pname, params);
}
void glLoadMatrixf(const GLfloat* m) { QV_GL_FORWARD(glLoadMatrixf, void(), m); }
void glMaterialf(GLenum face, GLenum pname, GLfloat param) { QV_GL_FORWARD(glMaterialf, void(), face, pname, param); }
void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
  QV_GL_FORWARD(glMaterialfv, void(), face, pname, params);
}
void glMatrixMode(GLenum mode) { QV_GL_FORWARD(glMatrixMode, void(), mode); }
void glMultMatrixf(const GLfloat* m) { QV_GL_FORWARD(glMultMatrixf, void(), m); }
void glNormalPointer(GLenum type, GLsizei stride, const GLvoid* ptr) {
  QV_GL_FORWARD(glNormalPointer, void(), type, stride, ptr);
}
void glPixelStorei(GLenum pname, GLint param) { QV_GL_FORWARD(glPixelStorei, void(), pname, param); }
void glPolygonMode(GLenum face, GLenum mode) { QV_GL_FORWARD(glPolygonMode, void(), face, mode); }
void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels) {
  QV_GL_FORWARD(glReadPixels, void(), x, y, width, height, format, type, pixels);
}
void glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
  QV_GL_FORWARD(glScissor, void(), x, y, width, height);
}
void glShadeModel(GLenum mode) { QV_GL_FORWARD(glShadeModel, void(), mode); }
void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* ptr) {
  QV_GL_FORWARD(glTexCoordPointer, void(), size, type, stride, ptr);
}
void glTexEnvi(GLenum target, GLenum pname, GLint param) { QV_GL_FORWARD(glTexEnvi, void(), target, pname, param); }
void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
  QV_GL_FORWARD(glTexImage2D, void(), target, level, internalFormat, width, height, border, format, type, pixels);
}
void glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
  QV_GL_FORWARD(glTexParameterf, void(), target, pname, param);
}
void glTexParameteri(GLenum target, GLenum pname, GLint param) {
  QV_GL_FORWARD(glTexParameteri, void(), target, pname, param);
}
void glTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid* pixels) {
  QV_GL_FORWARD(glTexSubImage2D, void(), target, level, xoffset, yoffset, width, height, format, type, pixels);
}
void glVertexPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* ptr) {
  QV_GL_FORWARD(glVertexPointer, void(), size, type, stride, ptr);
}
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  QV_GL_FORWARD(glViewport, void(), x, y, width, height);
}

#undef QV_GL_FORWARD
