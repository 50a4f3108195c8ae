// Saving what the screen shows of a window as a 24-bit .bmp file.
#include "driver.h"

#include <stdio.h>

namespace {

const WORD kBitmapMagic = 0x4D42;  // "BM"

int RowBytes(int width) { return (width * 3 + 3) & ~3; }

int WriteBitmapFile(const char* path, int width, int height, const std::vector<BYTE>& pixels) {
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as GetDIBits gave the rows
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(pixels.size());
  BITMAPFILEHEADER file = {};
  file.bfType = kBitmapMagic;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + info.biSizeImage;
  FILE* out = fopen(path, "wb");
  if (!out) return 0;
  int ok = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&info, sizeof(info), 1, out) == 1 &&
           fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  if (fclose(out) != 0) ok = 0;
  return ok;
}

// Copies the window's rectangle of the screen into pixels (24 bits, bottom-up).
int CopyScreenRect(const RECT& rect, std::vector<BYTE>* pixels) {
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  if (!screen) return 0;
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, width, height) : nullptr;
  int ok = 0;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    pixels->assign(static_cast<size_t>(RowBytes(width)) * height, 0);
    if (ok) ok = GetDIBits(memory, bitmap, 0, height, pixels->data(), &info, DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
  }
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace

int SaveWindowPicture(HWND window, const char* bmpPath) {
  RECT rect;
  if (!IsWindow(window) || !GetWindowRect(window, &rect)) return 0;
  if (rect.right <= rect.left || rect.bottom <= rect.top) return 0;
  // A window that another one covers is brought up first, as a user would.
  SetForegroundWindow(window);
  std::vector<BYTE> pixels;
  if (!CopyScreenRect(rect, &pixels)) return 0;
  return WriteBitmapFile(bmpPath, rect.right - rect.left, rect.bottom - rect.top, pixels);
}
