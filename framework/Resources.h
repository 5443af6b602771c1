#pragma once
// Loading from the program's own resources.
#include <windows.h>

#include <string>

#include "framework/Gdi.h"

// The module whose resources the program uses: the executable itself.
HINSTANCE ResourceInstance();

// An icon at the system's large icon size; empty when the resource is missing.
CIcon LoadIconResource(UINT id);
// Width and height of a bitmap, or false when its header cannot be read.
bool GetBitmapSize(HBITMAP bitmap, int& width, int& height);
// The program's own strings are narrow text in code page 936; Windows reads
// narrow text in the system's code page, which is 936 only on Chinese-locale
// systems, so names that reach Windows (font faces) go through this first.
std::wstring WideFromCp936(const char* text);
// A face name into a LOGFONTW's face field, truncated to fit.
void SetFaceName(LOGFONTW& font, const char* face);
void SetFaceName(LOGFONTW& font, const std::wstring& face);
// Registers a face the program carries as a font resource (raw TrueType
// data), for this process alone, to stand in for the face standsFor where the
// system lacks that one, at scale times the size asked for (a wider face fits
// the boxes laid out for the other at a smaller size). False when it cannot
// be registered.
bool RegisterCarriedFace(UINT resourceId, const wchar_t* carried, const char* standsFor, float scale);
// Whether the system has the face (a carried one is not the system's).
bool IsFaceInstalled(const std::wstring& face);
// The face to ask for in place of face (code page 936 text): itself, unless
// the system lacks it and a carried face stands in for it; scale, when given,
// receives the share of the asked size to draw it at.
std::wstring FaceFor(const char* face, float* scale = nullptr);

// A point font (size in tenths of a point) whose face comes from FaceFor,
// its points made pixels at dpi, rounded.
CFont CreatePointFont(int pointSizeTenths, const char* face, UINT dpi);
