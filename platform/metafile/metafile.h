// Metafile pictures: Windows metafiles (".wmf", with the placeable header
// that gives their size) and enhanced metafiles (".emf"), turned into SVG
// by libwmf and libemf2svg and drawn with Qt SVG.  The picture budget holds for them as for every
// picture: a metafile whose header claims more pixels is refused before
// anything is drawn.
#pragma once

#include "../../common/input_limits.h"  // header only: the metafile helper links no common code

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

enum class TMetafileKind { None, Wmf, PlaceableWmf, Emf };

// What the bytes are, by their header alone.
TMetafileKind MetafileKindOf(const void* data, size_t size);

// Draws a metafile at its own size (96 pixels an inch) on a clear ground.
// False, with out untouched, for bytes that are no metafile, a Windows
// metafile without its placeable header (it gives no size), one beyond
// the picture budget, or one the libraries refuse.  Any bytes at all may
// be given: this is the one entry for every metafile the program reads.
//
// libwmf and libemf2svg can loop for ever or take all memory on small
// files, so they never run in the program's own process: the picture is
// drawn by the helper program kMetafileHelper beside the program, in a
// child process with a bound on its address space and its time, and its
// pixels come back through a pipe (no more than the header's size allows).
// A child that fails, dies or runs out of time is a refused picture.
bool DecodeMetafile(const void* data, size_t size, QImage& out);

// The same drawing in this process, with no bound on the libraries' time
// or memory: for the helper program and the fuzz target only.
bool DecodeMetafileHere(const void* data, size_t size, QImage& out);

inline constexpr size_t kMaxMetafileBytes = input_limits::kMaxMetafileBytes;

// The helper program's file name, and the bounds it runs under.
inline constexpr const char* kMetafileHelper = "rzmetafile";
inline constexpr int kMetafileCpuSeconds = 5;
inline constexpr int kMetafileWallSeconds = 8;
inline constexpr unsigned long long kMetafileAddressSpace = 1536ull << 20;

// Runs the program at path in place of the helper beside this program
// (tests give one that misbehaves); an empty path goes back to the helper.
void SetMetafileHelper(const std::string& path);

// The helper program's work: reads a metafile from standard input, draws
// it and writes the picture (a small header, then the rows of pixels) to
// standard output.  Its exit status is 0 for a drawn picture.
int RunMetafileHelper();
