// What a camera and a colour-managed workflow put into a photo, for the tests
// and benchmarks of metadata and colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::test {

// A wide-gamut RGB profile (Adobe RGB primaries, gamma 2.2), made once: its
// header holds the time it was made.
const std::vector<uint8_t>& WideGamutProfile();

// Writes the profile into the picture file; validate false lets through a
// profile exiv2 would refuse to check.
void EmbedProfile(const std::string& path, const std::vector<uint8_t>& profile, bool validate = true);

// EXIF as a camera writes it (a date, the camera, a copyright, a location,
// the orientation and the JPEG thumbnail given) and XMP with the creator and
// a location, written into the picture file.
void TagLikeACamera(const std::string& path, int orientation, const std::vector<uint8_t>& thumbnail);

}  // namespace quorix::test
