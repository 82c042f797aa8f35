#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "netpbm.h"

namespace TesseraTest {

// One JPEG file of the corpus that the tests make with Debian's cjpeg, and
// djpeg's decode of it as the reference.
struct CorpusFile {
    std::string name;     // the configuration, e.g. "progressive-444"
    std::string options;  // the cjpeg options that made it
    std::string path;     // the JPEG file
    std::vector<std::uint8_t> bytes;
    Picture reference;  // djpeg -dct int -nosmooth
    Picture smooth;     // djpeg with its defaults (smooth up-sampling)
};

// A deterministic scene with what exercises a JPEG decoder: smooth gradients
// (DC and low frequencies), hard edges and fine texture (high frequencies,
// large AC magnitudes), saturated colours (clamping in colour conversion).
Picture Scene(int width, int height, std::uint32_t seed);

// Builds the corpus once per test run in a temporary directory (removed at
// exit). Empty when cjpeg or djpeg are not installed; SkipReason says why.
const std::vector<CorpusFile>& CjpegCorpus();
const std::string& CorpusSkipReason();

// Runs a shell command quietly; true when it exits 0.
bool RunQuietly(const std::string& command);
std::string ShellQuote(const std::string& text);
// The directory of the peers' test files and photos beside the repository, or "".
std::string SharedDirectory();

// Where each scan's SOS marker stands in a JPEG file.
std::vector<std::size_t> ScanStarts(const std::vector<std::uint8_t>& bytes);
// The file's first `scans` scans and EOI right after the last one's data: a
// well-formed file that stops early, as a progressive download shown so far.
std::vector<std::uint8_t> FirstScans(const std::vector<std::uint8_t>& bytes, std::size_t scans);

}  // namespace TesseraTest
