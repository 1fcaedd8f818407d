// Exif: the orientation a camera records for a photo, nothing else.
//
// Format card
//   Defined by: Exif 2.32 (CIPA DC-008), carried in a JPEG APP1 segment; the
//   structure inside is a TIFF 6.0 header and image file directories.
//   Byte order: said by the TIFF header ("II" little-endian, "MM" big-endian).
//   Read, every offset counted from the TIFF header:
//     0  6 bytes  "Exif\0\0"            identifier of the segment
//     6  u16      "II" or "MM"          byte order of everything after it
//     8  u16      42                    TIFF magic
//     10 u32      offset of IFD0
//     IFD0: u16 entry count, then 12-byte entries (u16 tag, u16 type,
//           u32 count, 4 bytes of value or offset)
//   The entry wanted: tag 0x0112 Orientation, type 3 (SHORT), count 1, its
//   value in the first two value bytes, 1 to 8.
//   Only IFD0 is read and no offset is followed but IFD0's own, so a chain of
//   directories, however long or looped, is never walked. Anything missing,
//   outside the segment or out of range gives 1, the picture as stored.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// The orientation (1..8) an APP1 payload records: the bytes after the
// segment's length field. 1 for anything that is not a well-formed Exif block
// with an orientation in range.
int ExifOrientation(const std::uint8_t* payload, std::size_t size);

}  // namespace engine
