#include "EditorHost.h"

#include <chrono>
#include <thread>

#include "VstHost.h"

EditorHost::~EditorHost() { close(); }

bool EditorHost::open(AEffect* fx, std::string& error) {
  if (fx_) return true;
  if (!(fx->flags & effFlagsHasEditor)) {
    error = "the plug-in has no editor";
    return false;
  }
  ERect* rect = nullptr;
  if (!call(fx, effEditGetRect, 0, 0, &rect) || !rect || rect->right <= rect->left || rect->bottom <= rect->top) {
    error = "the plug-in gave no editor rectangle";
    return false;
  }
  width_ = rect->right - rect->left;
  height_ = rect->bottom - rect->top;
  if (!native_ && !createWindow(error)) return false;
  fx_ = fx;
  call(fx, effEditOpen, 0, 0, parentHandle());
  pump(60);
  return true;
}

void EditorHost::close() {
  closeEditor();
  destroyWindow();
}

void EditorHost::closeEditor() {
  if (!fx_) return;
  call(fx_, effEditClose);
  fx_ = nullptr;
}

void EditorHost::pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    deliver();
    if (fx_) call(fx_, effEditIdle);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (std::chrono::steady_clock::now() < end);
}

void EditorHost::move(int x, int y) {
  sendMouse(0, x, y);
  pump();
}

void EditorHost::press(int x, int y) {
  sendMouse(1, x, y);
  pump();
}

void EditorHost::release(int x, int y) {
  sendMouse(2, x, y);
  pump();
}

void EditorHost::drag(int x0, int y0, int x1, int y1, int steps) {
  move(x0, y0);
  press(x0, y0);
  for (int i = 1; i <= steps; ++i) move(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
  release(x1, y1);
}
