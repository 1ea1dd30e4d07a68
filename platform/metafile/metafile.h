// Metafile pictures: Windows metafiles (".wmf", with the placeable header
// that gives their size) and enhanced metafiles (".emf"), turned into SVG
// by libwmf and libemf2svg and drawn with Qt SVG.  The picture budget holds for them as for every
// picture: a metafile whose header claims more pixels is refused before
// anything is drawn.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

enum class TMetafileKind { None, Wmf, PlaceableWmf, Emf };

// What the bytes are, by their header alone.
TMetafileKind MetafileKindOf(const void* data, size_t size);

// Draws a metafile at its own size (96 pixels an inch) on a clear ground.
// False, with out untouched, for bytes that are no metafile, a Windows
// metafile without its placeable header (it gives no size), one beyond
// the picture budget, or one the libraries refuse.  Any bytes at all may
// be given: this is the one entry for every metafile the program reads.
bool DecodeMetafile(const void* data, size_t size, QImage& out);
