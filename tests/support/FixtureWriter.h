#pragma once

// Builds Windows icon-bearing files in memory (icon DIBs, .ico/.cur files, PE and NE
// executables with icon resources, BMP files), so tests describe their inputs in code
// instead of shipping binary blobs. All multi-byte fields are little-endian.

#include <QImage>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fixtures {

using Bytes = std::vector<std::uint8_t>;

// A field written at `at`, the bytes grown with zeros to hold it: for files laid out by hand and
// for edits of built ones. set32be is the big-endian order of Apple icon files.
void set16(Bytes& b, std::size_t at, unsigned v);
void set32(Bytes& b, std::size_t at, std::uint32_t v);
void set32be(Bytes& b, std::size_t at, std::uint32_t v);

struct DibOptions {
    bool coreHeader = false;      // 12-byte BITMAPCOREHEADER with RGBTRIPLE palette instead of the 40-byte header
    bool bitfields565 = false;    // 16 bits only: BI_BITFIELDS with masks F800/07E0/001F; otherwise BI_RGB 5-5-5
    bool zeroAlpha = false;       // 32 bits only: alpha bytes written as 0, so only the AND mask carries transparency
    bool omitMask = false;        // leave the AND mask out entirely
    std::vector<QRgb> palette {}; // 1/4/8 bits; empty = default (1: black, white; 4: VGA; 8: 6x6x6 cube + grays).
                                  // Pixels map to the nearest entry by squared RGB distance.
    int clrUsed = 0;              // biClrUsed; when nonzero the palette written has exactly that many entries
};

// An icon image as stored in .ico files and RT_ICON resources: header (height field = 2 x height),
// palette, XOR bits bottom-up, then the 1-bit AND mask (1 = transparent, i.e. alpha < 128) bottom-up.
// Rows are padded to 4 bytes. 32-bit colour is B,G,R,A with straight alpha.
Bytes iconDib(const QImage& image, int bitCount, const DibOptions& opt = {});
Bytes pngData(const QImage& image);

// One image inside an icon directory (.ico/.cur file, or a group icon resource).
struct IconImage {
    std::uint8_t width = 32, height = 32;   // directory bytes as stored (0 means 256)
    std::uint16_t planes = 1, bitCount = 0; // directory fields as stored (for cursors: hotspot x, y)
    Bytes data {};                          // DIB or PNG bytes
};

// The image of iconDib with its directory fields: the picture's width and height, one plane,
// `bitCount` bits.
IconImage dibImage(const QImage& picture, int bitCount, const DibOptions& opt = {});

// type 1 = .ico, 2 = .cur; 16-byte directory entries, then the image data in order.
Bytes iconFile(const std::vector<IconImage>& images, std::uint16_t type = 1);

// A group icon resource in an executable.
struct GroupIcon {
    std::optional<std::u16string> name {};           // set: named resource (e.g. u"MAINICON"); unset: numeric id
    std::uint16_t id = 1;                            // used when name is unset
    std::vector<std::uint16_t> languages = {0x0409}; // PE only: the group appears once per language (same data)
    std::vector<IconImage> images {};
    std::vector<IconImage> laterLanguageImages {}; // PE only: when set, the languages after the first hold these
};

// Executables with RT_GROUP_ICON / RT_ICON resources. RT_ICON ids are 1, 2, 3, ... in group order,
// then image order. Named groups come first, then numeric ids in the order given (never sorted).
enum class PeFault { None, GroupNamesMissingIcon, LoopingDirectory, HugeEntryCount, ResourceRvaPastEnd, Truncated };
Bytes peFile(const std::vector<GroupIcon>& groups, bool pe32plus, PeFault fault = PeFault::None);
// The file of peFile around a resource section of one's own, laid out for the address 0x1000.
Bytes peWithResources(const Bytes& rsrc, bool pe32plus = false, PeFault fault = PeFault::None);
// A file of peFile with a code section of `code` zero bytes before its resources, as real
// libraries have: the resource directory then lies far from the headers.
Bytes withCodeSection(Bytes pe, std::uint32_t code);

enum class NeFault { None, GroupNamesMissingIcon, EndlessTypeTable, OffsetPastEnd, HugeAlignShift };
Bytes neFile(const std::vector<GroupIcon>& groups, NeFault fault = NeFault::None);
// The MZ stub and NE header of neFile's library (NE header at 0x80), ending at 0xC0 where its
// resource table starts; the offsets of the tables after that one are the caller's to set.
Bytes neLibraryHeader();

// An animated cursor: "anih", a "seq " chunk when `sequence` is given, and a "LIST fram" with an
// "icon" chunk per frame (each an icon or cursor file). `emptyChunks` empty "junk" chunks stand
// half before the frame list and half in it after the frames.
Bytes aniFile(const std::vector<Bytes>& frames, const std::vector<std::uint32_t>& sequence = {}, std::size_t emptyChunks = 0);

// An Apple icon file of the given elements: a four-letter type and its data each.
struct IcnsElement {
    std::string type;
    Bytes data;
};
Bytes icnsFile(const std::vector<IcnsElement>& elements);

// The two elements of an image of the old kind: `rgbType` (e.g. "il32") with the red, green and
// blue planes each run-length coded, and `maskType` (e.g. "l8mk") with the alpha plane as it is.
std::vector<IcnsElement> icnsRgbElements(const QImage& image, const char* rgbType, const char* maskType);

// Whole .bmp files. Indexed kinds use the default palettes; 32 bits is BI_RGB with alpha 0xFF.
// Bits16Rgb555/Bits16Rgb565: 5-5-5 BI_RGB and 5-6-5 bit fields. Bits32R11G11B10: bit fields of
// 11, 11 and 10 bits (each channel's top 8 bits are the colour). AlphaBitfields32: a 40-byte
// header with BI_ALPHABITFIELDS (four masks after it); V5Alpha32: a 124-byte header with bit
// fields and an alpha mask. Os2ShortPalette8: a 12-byte header with 16 three-byte colours and a
// gap before the rows. Rle8Moves/Rle4Moves: index 0 is skipped by moves and early line ends, and
// runs of differing indices are stored absolute.
enum class BmpKind {
    Bits1,
    Bits4,
    Bits8,
    Bits24,
    Bits32,
    Rle8,
    Rle4,
    Os2Core24,
    TopDown24,
    Bits16Rgb555,
    Bits16Rgb565,
    Bits32R11G11B10,
    AlphaBitfields32,
    V5Alpha32,
    Os2ShortPalette8,
    Rle8Moves,
    Rle4Moves
};
Bytes bmpFile(const QImage& image, BmpKind kind);

} // namespace fixtures
