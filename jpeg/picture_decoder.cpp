#include "picture_decoder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "colour_conversion.h"
#include "input_byte_stream.h"
#include "marker_codes.h"
#include "plain_data.h"
#include "scaled_inverse_dct.h"
#include "standard_huffman_tables.h"

namespace Tessera {

namespace {

constexpr std::uint8_t kCarriageReturn = 13;
constexpr std::uint8_t kLineFeed = 10;
// Component identifiers 'R', 'G', 'B': an RGB picture without JFIF or Adobe
// segments, as libjpeg reads it.
constexpr std::array<unsigned, 3> kRgbIdentifiers = {82, 71, 66};
constexpr int kAdobeRgbOrCmyk = 0;
constexpr int kAdobeYCbCr = 1;
constexpr int kAdobeYcck = 2;
constexpr const char* kArithmeticRefused =
    "Cannot read image - Arithmetic Coding covered by patents";
constexpr const char* kUnknownMarker = "Unknown, unsupported, or reserved marker encountered";

}  // namespace

bool EndOfImageFollows(const std::uint8_t* at, const std::uint8_t* end) {
    for (;;) {
        const MarkerAt marker = NextMarker(at, end);
        if (marker.prefix == nullptr) return false;
        if (!IsRestartMarker(*marker.code)) return *marker.code == EOI;
        at = marker.code + 1;
    }
}

void PictureDecoder::Begin(InputByteStream& stream) {
    End();
    facts = HeaderFacts{};
    frame.reset();
    restartInterval = 0;
    conditioning = {};
    endOfImage = false;
    firstByte = true;
    scansDone = 0;
    blocksVisited = 0;
    eobRunsLeft = {};
    transformedMcuRows.clear();
    rowConverter = {};
    rowsFinal = false;
    endOfImageAfter = nullptr;
    lastScanRowsFinal = false;
    warnings.clear();
    progress.Reset();
    smoothing = {};
    if (stream.ReadByte() != kMarkerPrefix || stream.ReadByte() != SOI)
        throw JpegBadStream("Missing SOI Marker");
    // Other decoders take any segments between SOI and the frame: JFIF is
    // one of the APPn segments then, and need not come first, or at all.
    if (!settings.tolerant) ReadJfifHeader(stream, facts);
}

PictureDecoder::Step PictureDecoder::Next(InputByteStream& stream) {
    bool haveByte = firstByte;
    std::uint8_t byte = firstByte ? stream.ReadByte() : 0;
    firstByte = false;
    for (;;) {
        if (haveByte) {
            if (!stream.HasData() || endOfImage) return Step::End;
            if (byte == kMarkerPrefix) {
                const std::optional<Step> step = HandleMarker(stream);
                if (endOfImage) return Step::End;
                if (step) return *step;
            }
        }
        // Bytes between segments other than 0xFF are passed over. A read that
        // finds no byte at all ends the loop (Finish then reports the missing
        // EOI); one that takes the very last byte is a cut-off stream.
        if (!stream.HasData()) return Step::End;
        byte = stream.ReadByte();
        if (!stream.HasData()) return EndOfData();
        haveByte = true;
    }
}

std::optional<PictureDecoder::Step> PictureDecoder::HandleMarker(InputByteStream& stream) {
    for (;;) {
        if (!stream.HasData()) return EndOfData();
        const std::uint8_t code = stream.ReadByte();
        switch (code) {
            case SOF0:
            case SOF1:
            case SOF2:
                ReadFrame(stream, code);
                return Step::Frame;
            case SOF3:
                throw JpegBadStream("Lossless Huffman Coding Not Supported");
            case DHT:
                ReadHuffmanTables(stream, tables);
                return std::nullopt;
            case SOF5:
                throw JpegBadStream("Differential Sequential Huffman Coding Not Supported");
            case SOF6:
                throw JpegBadStream("Differential Progressive Huffman Coding Not Supported");
            case SOF7:
                throw JpegBadStream("Differential Lossless Huffman Coding Not Supported");
            case SOF9:
            case SOF10:
                // Tolerant decodes read 8-bit arithmetic-coded sequential
                // and progressive frames; the rest stay refused.
                if (!settings.tolerant) throw JpegBadStream(kArithmeticRefused);
                ReadFrame(stream, code);
                return Step::Frame;
            case DAC:
                if (!settings.tolerant) throw JpegBadStream(kUnknownMarker);
                ReadArithmeticConditioning(stream, conditioning);
                return std::nullopt;
            case SOF11:
            case SOF13:
            case SOF14:
            case SOF15:
                throw JpegBadStream(kArithmeticRefused);
            case SOI:
                return std::nullopt;
            case EOI:
                endOfImage = true;
                return std::nullopt;
            case SOS:
                return Step::Scan;  // the caller takes the scan from here
            case DQT:
                if (ReadQuantTables(stream, tables, settings.tolerant))
                    Warn(ErrorCode::ZeroQuantizationValue,
                         "a quantization table holds 0: its coefficients are taken as 0");
                return std::nullopt;
            case DRI:
                restartInterval = ReadRestartInterval(stream);
                return std::nullopt;
            case DHP:
                throw JpegBadStream("DHP marker not supported");
            case kMarkerPrefix:
                continue;  // a fill byte before the code
            default:
                if ((code >= APP0 && code <= APP15) || code == COM) {
                    ReadApplicationSegment(stream, code, facts, segmentPayload);
                    return std::nullopt;
                }
                // Markers without a segment (T.81 B.1.1.3) and 0xFF 0x00
                // between segments are what a damaged scan's data leaves
                // behind when its repair ends it early: tolerant decodes pass
                // over them, as libjpeg does; strict decodes refuse them.
                if (settings.tolerant && (IsRestartMarker(code) || code == TEM || code == 0))
                    return std::nullopt;
                throw JpegBadStream(kUnknownMarker);
        }
    }
}

void PictureDecoder::ReadFrame(InputByteStream& stream, std::uint8_t code) {
    // Components size their buffers once per picture, from the first frame.
    if (frame) throw JpegBadStream("Multiple Frame Headers Not Supported");
    const FrameHeader value =
        ReadFrameHeader(stream, code, {settings.tolerant, settings.maxPixels});
    JpegComponent::Setup setup;
    setup.inverseDct = kernels.inverseDct;
    setup.zigzagToNatural = kernels.zigzagToNatural;
    // Where no data reached, tolerant decodes give mid-grey in every colour
    // space (as a damaged interval does); strict sequential ones zero samples.
    setup.unreachedSample = settings.tolerant || value.Progressive() ? 128 : 0;
    setup.convertibleUnprepared = settings.tolerant;
    if (Accurate()) {
        SetUpAccurateComponents(value, setup);
    } else {
        for (unsigned i = 0; i < value.componentCount; ++i) {
            setup.quantTable = &tables.quant[value.components[i].quantTable];
            components[i].SetGeometry(value.components[i], value, setup);
        }
    }
    frame = value;
    if (settings.region.width != 0 && settings.region.height != 0) SetTransformWindows(value);
    transformedMcuRows.assign(BandMcuRows(), -1);
}

// Rows of MCUs of samples a progressive frame's bands hold: the row being
// converted and those its up-sampling reads on each side.
unsigned PictureDecoder::BandMcuRows() const {
    return 1 + 2 * McuRowsAhead();
}

namespace {

// ⌈a ÷ b⌉.
std::size_t DivideUp(std::size_t a, std::size_t b) {
    return (a + b - 1) / b;
}

// The byte order the saver's colour kernels write a layout in (alpha and the
// padding byte alike 255); none for grey and ink layouts.
std::optional<ColourLayout> ColourLayoutOf(PixelFormat format) {
    switch (format) {
        case PixelFormat::Bgra:
        case PixelFormat::Bgrx:
            return ColourLayout::Bgra;
        case PixelFormat::Rgba:
        case PixelFormat::Rgbx:
            return ColourLayout::Rgba;
        case PixelFormat::Bgr:
            return ColourLayout::Bgr;
        case PixelFormat::Rgb:
            return ColourLayout::Rgb;
        case PixelFormat::Grey:
        case PixelFormat::Cmyk:
            break;
    }
    return std::nullopt;
}

// libjpeg's choice of a component's transform size in a decode at M/8: a
// component sampled below the largest factors has its blocks transformed
// larger, doubling while that still divides evenly and stays below 8, so
// that up-sampling has less (or nothing) left to do.
unsigned ScaledBlockSize(unsigned m, const FrameHeader& frame, const FrameComponent& c) {
    unsigned size = m;
    while (size < 8 && (frame.maxHorizontalSampling * m) % (c.horizontalSampling * size * 2) == 0 &&
           (frame.maxVerticalSampling * m) % (c.verticalSampling * size * 2) == 0)
        size *= 2;
    return size;
}

// The accurate transform of a size: the kernels' own at 8.
AccurateInverseDctKernel AccurateInverseDctFor(unsigned size, const DecoderKernels& kernels) {
    return size == 8 ? kernels.accurateInverseDct : ScaledInverseDctFor(size);
}

}  // namespace

void PictureDecoder::SetUpAccurateComponents(const FrameHeader& value, JpegComponent::Setup setup) {
    const unsigned m = settings.scaledSize;
    // libjpeg up-samples smoothly only where blocks keep more than one sample.
    const bool smooth = settings.pixels == Pixels::Smooth && m > 1;
    std::array<RowConverter::ComponentSetup, kMaxFrameComponents> converters{};
    std::array<unsigned, kMaxFrameComponents> sizes{};
    bool neighbourRows = false;
    for (unsigned i = 0; i < value.componentCount; ++i) {
        const FrameComponent& c = value.components[i];
        sizes[i] = ScaledBlockSize(m, value, c);
        // inH × inV samples of the component make one group of
        // maxH × maxV pixels.
        const unsigned inH = c.horizontalSampling * sizes[i] / m;
        const unsigned inV = c.verticalSampling * sizes[i] / m;
        const std::size_t width =
            DivideUp(std::size_t{value.width} * c.horizontalSampling * sizes[i],
                     std::size_t{value.maxHorizontalSampling} * 8);
        converters[i].upsampler = Upsampler::Choose(inH, inV, value.maxHorizontalSampling,
                                                    value.maxVerticalSampling, smooth, width);
        neighbourRows = neighbourRows || converters[i].upsampler.NeedsNeighbourRows();
    }
    // Rows of MCUs convert with the last sample row of the one above and the
    // first of the one below: bands then hold three rows of MCUs
    // (BandMcuRows).
    if (neighbourRows) setup.bandMcuRows += 2;
    for (unsigned i = 0; i < value.componentCount; ++i) {
        const FrameComponent& c = value.components[i];
        setup.quantTable = &tables.quant[c.quantTable];
        setup.blockSize = sizes[i];
        setup.accurateDct = AccurateInverseDctFor(sizes[i], kernels);
        setup.accurateDctPair = sizes[i] == 8 ? kernels.accurateInverseDctPair : nullptr;
        components[i].SetGeometry(c, value, setup);
        const std::size_t width =
            DivideUp(std::size_t{value.width} * c.horizontalSampling * sizes[i],
                     std::size_t{value.maxHorizontalSampling} * 8);
        const std::size_t height =
            DivideUp(std::size_t{value.height} * c.verticalSampling * sizes[i],
                     std::size_t{value.maxVerticalSampling} * 8);
        converters[i].component = &components[value.sharedWith[i]];
        converters[i].plane = ComponentPlane(components[value.sharedWith[i]], width, height);
    }
    rowConverter.SetUp(converters, value.componentCount, DivideUp(std::size_t{value.width} * m, 8),
                       DivideUp(std::size_t{value.height} * m, 8), kernels);
}

// A cropped decode transforms only the blocks whose samples the region's
// pixels read: the region's share of each component and one sample around
// it, which smooth up-sampling takes from the neighbours.
void PictureDecoder::SetTransformWindows(const FrameHeader& value) {
    const Region& r = settings.region;
    const unsigned m = Accurate() ? settings.scaledSize : 8;
    for (unsigned i = 0; i < value.componentCount; ++i) {
        const FrameComponent& c = value.components[i];
        const std::size_t n = components[i].BlockSize();
        // Samples of this component per pixel: (sampling × n) ÷ (max × m).
        const auto span = [&](std::size_t first, std::size_t count, unsigned sampling,
                              unsigned maxSampling) {
            const std::size_t num = std::size_t{sampling} * n, den = std::size_t{maxSampling} * m;
            std::size_t a = first * num / den;
            std::size_t b = DivideUp((first + count) * num, den) + 1;
            a = a == 0 ? 0 : a - 1;
            return std::pair<unsigned, unsigned>(static_cast<unsigned>(a / n),
                                                 static_cast<unsigned>(DivideUp(b, n)));
        };
        const auto [top, bottom] =
            span(r.y, r.height, c.verticalSampling, value.maxVerticalSampling);
        const auto [left, right] =
            span(r.x, r.width, c.horizontalSampling, value.maxHorizontalSampling);
        components[i].SetTransformWindow(top, bottom, left, right);
    }
}

void PictureDecoder::StartScan(InputByteStream& stream, bool rowsWanted) {
    if (!frame) throw JpegBadStream("Scan found before frame defined");
    if (scansDone == settings.maxScans) throw JpegBadStream("Too Many Scans");
    scan = ReadScanHeader(stream, *frame, settings.tolerant);
    if (scansDone == 0 && settings.tolerant && frame->componentCount > 1 &&
        facts.adobeTransform > (frame->componentCount == 3 ? kAdobeYCbCr : kAdobeYcck))
        Warn(ErrorCode::ColourTransformNotSupported,
             "Adobe colour transform " + std::to_string(facts.adobeTransform) + " is taken as " +
                 (frame->componentCount == 3 ? "YCbCr" : "YCCK"));

    // The stream stands at the scan's data.
    bool covers = !frame->Progressive() && scansDone == 0;
    for (unsigned i = 0; covers && i < frame->componentCount; ++i) {
        const unsigned position = frame->sharedWith[i];
        covers = std::any_of(scan.components.begin(), scan.components.begin() + scan.componentCount,
                             [&](const ScanComponent& c) { return c.position == position; });
    }
    rowsFinal = covers && (stream.ReadPointer() == endOfImageAfter ||
                           EndOfImageFollows(stream.ReadPointer(), stream.BufferEnd()));

    PrepareScanComponents(rowsWanted && rowsFinal);
    CountBlockVisits();
    progress.Record(scan, scansDone == 0);
    ++scansDone;
    lastScanRowsFinal = rowsWanted && RowsFinalAsScanned(stream);
    std::fill(transformedMcuRows.begin(), transformedMcuRows.end(), -1);
    if (frame->Arithmetic()) {
        // Arithmetic-coded data is read in byte mode.
        const ArithmeticScanDecoder::Context context{&*frame, &conditioning, &components,
                                                     restartInterval, Repairs()};
        scanDecoder.emplace(std::in_place_type<ArithmeticScanDecoder>, context, scan, stream);
    } else {
        // A file cut off right after the scan's header has none of its data.
        const bool noData = Repairs() && !stream.HasData();
        if (!noData) stream.StartBitReading();
        const unsigned position = scan.components[0].position;
        const HuffmanScanDecoder::Context context{&*frame,         &tables,           &components,
                                                  restartInterval, settings.tolerant, Repairs()};
        scanDecoder.emplace(std::in_place_type<HuffmanScanDecoder>, context, scan, stream,
                            settings.tolerant ? 0 : eobRunsLeft[position]);
        if (noData) scanDecoder->MarkCutOff();
    }
    if (frame->Progressive() && scan.ss == 0 && scan.se != 0)
        throw JpegBadStream("Progressive scan contains DC and AC data");
}

void PictureDecoder::CheckScanTables(const JpegComponent& component,
                                     const ScanComponent& selectors) {
    const QuantTable& quant = component.Quant();
    if (!quant.defined) throw JpegBadStream("Quantization Table Not Defined");
    // Baseline frames take 8-bit tables only (T.81 B.2.4.1).
    if (frame->code == SOF0 && quant.sixteenBit)
        throw JpegBadStream("Only 8-bit Data is Supported");
    if (frame->Arithmetic()) return;  // no Huffman tables to check
    const bool progressive = frame->Progressive();
    const bool needsDc = !progressive || scan.ss == 0;
    const bool needsAc = !progressive || scan.ss != 0;
    if (needsDc) CheckHuffmanTable(true, selectors.dcTable);
    if (needsAc) CheckHuffmanTable(false, selectors.acTable);
}

// A table the scan reads: defined, and with the look-ups of the scan's steps.
void PictureDecoder::CheckHuffmanTable(bool dc, unsigned slot) {
    HuffmanTable& table = dc ? tables.dc[slot] : tables.ac[slot];
    if (!table.IsDefined()) LoadMissingHuffmanTable(dc, slot);
    // The look-ups of the steps this scan takes.
    if (dc) return;
    if (!frame->Progressive())
        table.MakeSequentialSteps();
    else if (scan.ah != 0)
        table.MakeRefinementSteps();
}

// Motion-JPEG frames (webcams, AVI and MOV files) leave the tables out and
// rely on the standard ones of T.81 K.3, as their decoders do; tolerant
// decodes take those for the two slots that have them.
void PictureDecoder::LoadMissingHuffmanTable(bool dc, unsigned slot) {
    HuffmanTable& table = dc ? tables.dc[slot] : tables.ac[slot];
    const ErrorCode code = dc ? ErrorCode::DcTableNotDefined : ErrorCode::AcTableNotDefined;
    if (!settings.tolerant || slot > 1) {
        if (dc) throw JpegError(ErrorMessage(code));
        throw JpegBadStream(ErrorMessage(code));
    }
    Warn(code, std::string(dc ? "DC" : "AC") + " table " + std::to_string(slot) +
                   " is not defined: the standard one is used");
    LoadStandardHuffmanTable(table, dc, slot);
}

void PictureDecoder::Warn(ErrorCode code, std::string text) {
    if (settings.failOnWarning) {
        if (code == ErrorCode::DcTableNotDefined) throw JpegError(ErrorMessage(code));
        throw JpegBadStream(ErrorMessage(code));
    }
    warnings.push_back({code, std::move(text)});
}

PictureDecoder::Step PictureDecoder::EndOfData() {
    if (!settings.tolerant) throw JpegBadStream("Premature end of file");
    Warn(ErrorCode::PrematureEndOfFile, "the data ends inside a marker");
    return Step::End;
}

void PictureDecoder::ReportRepairs() {
    const ScanWalk::Repairs& repairs = scanDecoder->Repaired();
    const std::string scanName = "scan " + std::to_string(scansDone);
    if (repairs.damagedIntervals > 0)
        Warn(repairs.firstError,
             scanName + ": " + std::to_string(repairs.damagedIntervals) +
                 " damaged restart interval(s) filled with blocks without data");
    if (repairs.cutOff)
        Warn(repairs.firstError,
             "the data ends inside " + scanName +
                 (frame->Progressive() ? ": the picture is as far as its scans got"
                                       : ": its rest is filled with blocks without data"));
}

void PictureDecoder::PrepareScanComponents(bool bands) {
    for (unsigned i = 0; i < scan.componentCount; ++i) {
        JpegComponent& component = components[scan.components[i].position];
        CheckScanTables(component, scan.components[i]);
        component.AllocateBuffers(frame->Progressive(), bands);
        if (bands && !frame->Progressive() && settings.pipelineMcuRows != 0)
            component.DeferTransforms(settings.pipelineMcuRows);
    }
}

// Every scan visits each block of its components once, and a progressive
// scan may pass a whole end-of-band run of blocks for a few bits, so scans,
// not data, would otherwise set the work.
void PictureDecoder::CountBlockVisits() {
    std::uint64_t blocks = 0;
    if (scan.Interleaved(frame->Progressive())) {
        // Whole MCUs (T.81 A.2.3).
        std::uint64_t blocksPerMcu = 0;
        for (unsigned i = 0; i < scan.componentCount; ++i) {
            const JpegComponent& c = components[scan.components[i].position];
            blocksPerMcu += c.HorizontalSampling() * c.VerticalSampling();
        }
        blocks = std::uint64_t{frame->mcuRows} * frame->mcuColumns * blocksPerMcu;
    } else {
        const JpegComponent& c = components[scan.components[0].position];
        blocks = std::uint64_t{c.ScanBlockRows()} * c.ScanBlockColumns();
    }
    blocksVisited += blocks;
    if (blocksVisited > settings.maxBlockVisitsPerBlock * frame->Blocks())
        throw JpegBadStream("Scans Visit the Picture Too Many Times");
}

std::vector<const std::uint8_t*> PictureDecoder::FindRestartMarkers(InputByteStream& stream) {
    std::vector<const std::uint8_t*> markers;
    if (!frame || frame->Arithmetic() || frame->Progressive() || restartInterval == 0 ||
        scanDecoder->DecodedUnits() != 0)
        return markers;
    const std::uint64_t intervals = DivideUp(scanDecoder->Units(), std::uint64_t{restartInterval});
    // In entropy-coded data a 0xFF is followed by a stuffed 0x00 or begins
    // a marker, so the restart markers are found without decoding.
    while (markers.size() + 1 < intervals) {
        const int code = stream.SkipToMarker(stream.ReadPointer());
        if (code < 0 || !IsRestartMarker(static_cast<unsigned>(code)) ||
            static_cast<unsigned>(code) - RST0 != markers.size() % kRestartCycle)
            return {};
        markers.push_back(stream.ReadPointer() - 2);
    }
    return markers;
}

void PictureDecoder::MoveToRestartInterval(InputByteStream& stream, std::uint64_t interval,
                                           const std::uint8_t* marker) {
    stream.SkipToMarker(marker);
    stream.StartBitReading();
    if (!scanDecoder) {
        // The scan has ended (this decoder decoded its last rows before).
        const HuffmanScanDecoder::Context context{&*frame,         &tables,           &components,
                                                  restartInterval, settings.tolerant, Repairs()};
        scanDecoder.emplace(std::in_place_type<HuffmanScanDecoder>, context, scan, stream, 0);
    }
    scanDecoder->StartAtInterval(interval, stream.ReadPointer());
}

unsigned PictureDecoder::ScanMcuRows() const {
    const std::uint64_t perRow = scanDecoder->UnitsPerMcuRow();
    return perRow == 0 ? 0 : static_cast<unsigned>((scanDecoder->Units() + perRow - 1) / perRow);
}

void PictureDecoder::DecodeScanRows(InputByteStream& stream, unsigned end) {
    // Rows the scan left unfinished get unreached samples before anyone reads them.
    const auto finish = [&] {
        for (unsigned i = 0; i < scan.componentCount; ++i)
            components[scan.components[i].position].FinishBandRows();
    };
    try {
        scanDecoder->Decode(stream,
                            std::min(scanDecoder->Units(), end * scanDecoder->UnitsPerMcuRow()));
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void PictureDecoder::EndScan(InputByteStream& stream) {
    eobRunsLeft[scan.components[0].position] = scanDecoder->EobRun();
    ReportRepairs();
    // Rows may be converting as a last scan ends; its plan stands (whether
    // smoothing applies follows the progression alone, not where data ended).
    if (!lastScanRowsFinal) PlanSmoothing();
    scanDecoder.reset();
    stream.StopBitReading();
}

// libjpeg decides when its output begins, once the scans have been read;
// where the data ended inside the last scan, the rows of MCUs after the one
// it ended in take the progression from before that scan.
void PictureDecoder::PlanSmoothing() {
    smoothing = {};
    if (!settings.tolerant || !frame->Progressive()) return;
    const ScanWalk::Repairs& repairs = scanDecoder->Repaired();
    const std::uint64_t perRow = scanDecoder->UnitsPerMcuRow();
    const unsigned lastGoodMcuRow = repairs.cutOff && perRow != 0
                                        ? static_cast<unsigned>(repairs.cutOffUnit / perRow)
                                        : frame->mcuRows - 1;
    smoothing = SmoothingPlan::For(progress, frame->componentCount, scansDone, lastGoodMcuRow);
}

bool PictureDecoder::RowsFinalAsScanned(const InputByteStream& stream) {
    if (!settings.tolerant || !frame->Progressive()) return false;
    const SmoothingPlan plan =
        SmoothingPlan::For(progress, frame->componentCount, scansDone, frame->mcuRows - 1);
    if (plan.Applies()) return false;
    // A block row the scan reaches first would be made while rows convert.
    for (unsigned i = 0; i < scan.componentCount; ++i) {
        const JpegComponent& component = components[scan.components[i].position];
        if (!component.RowReached(component.BlockRows() - 1)) return false;
    }
    if (!EndOfImageFollows(stream.ReadPointer(), stream.BufferEnd())) return false;
    smoothing = plan;
    return true;
}

void PictureDecoder::Finish(InputByteStream& stream) {
    if (!endOfImage) {
        if (!settings.tolerant) throw JpegBadStream("End of Image Marker Not Found");
        Warn(ErrorCode::EndOfImageMarkerNotFound, "the stream ends without EOI");
        return;
    }
    if (OnlyLineEndsFollow(stream)) return;
    if (!settings.tolerant) throw JpegBadStream("Extra Data After End of Image Marker");
    Warn(ErrorCode::ExtraDataAfterEndOfImage, "the data after EOI is ignored");
}

bool PictureDecoder::OnlyLineEndsFollow(InputByteStream& stream) {
    // Line ends after EOI are tolerated (text-mode transfers add them); the
    // test is made after a byte has been read, so one last byte of any value passes.
    std::uint8_t byte = stream.ReadByte();
    while ((byte == kCarriageReturn || byte == kLineFeed) && stream.HasData())
        byte = stream.ReadByte();
    return !stream.HasData();
}

void PictureDecoder::End() {
    scanDecoder.reset();
    // The frame's own components keep their memory for the next picture;
    // any other frees it, so no more than one picture's worth is kept.
    for (unsigned i = 0; i < kMaxFrameComponents; ++i)
        components[i].ReleaseBuffers(frame && i < frame->componentCount);
}

// Tolerant decodes read the colours as libjpeg does: JFIF means YCbCr; else
// the Adobe transform (0: RGB or CMYK, 1: YCbCr, 2: YCCK; others are taken
// as YCbCr and YCCK); else 'R', 'G', 'B' identifiers mean RGB and four
// components CMYK. Strict decodes know only grey and YCbCr.
ColourSpace PictureDecoder::Colours() const {
    const unsigned count = frame ? frame->componentCount : 0;
    if (count <= 1) return ColourSpace::Grey;
    if (!settings.tolerant) return ColourSpace::YCbCr;
    const int adobe = facts.adobeTransform;
    if (count == kMaxFrameComponents)
        return adobe < 0 || adobe == kAdobeRgbOrCmyk ? ColourSpace::Cmyk : ColourSpace::Ycck;
    if (facts.jfif) return ColourSpace::YCbCr;
    if (adobe >= 0) return adobe == kAdobeRgbOrCmyk ? ColourSpace::Rgb : ColourSpace::YCbCr;
    for (unsigned i = 0; i < count; ++i)
        if (frame->components[i].id != kRgbIdentifiers[i]) return ColourSpace::YCbCr;
    return ColourSpace::Rgb;
}

const JpegComponent& PictureDecoder::ComponentAt(unsigned i) const {
    return components[frame->sharedWith[i]];
}

void PictureDecoder::PrepareMcuRow(unsigned mcuRow) {
    if (!frame || !frame->Progressive()) return;
    // Smooth vertical up-sampling reads the rows of MCUs on both sides.
    const unsigned ahead = McuRowsAhead();
    const unsigned first = mcuRow >= ahead ? mcuRow - ahead : 0;
    const unsigned last = std::min<unsigned>(mcuRow + ahead, frame->mcuRows - 1);
    for (unsigned row = first; row <= last; ++row) TransformMcuRow(row);
}

void PictureDecoder::TransformAsDecoded() {
    for (unsigned i = 0; i < frame->componentCount; ++i)
        if (components[i].Prepared()) components[i].DeferTransforms(0);
}

void PictureDecoder::TransformDecodedMcuRow(unsigned mcuRow) {
    if (frame->Progressive()) return;
    for (unsigned i = 0; i < frame->componentCount; ++i)
        if (frame->sharedWith[i] == i && components[i].Prepared())
            components[i].TransformStoredMcuRow(mcuRow);
}

void PictureDecoder::TransformMcuRow(unsigned mcuRow) {
    int& held = transformedMcuRows[mcuRow % transformedMcuRows.size()];
    if (held == static_cast<int>(mcuRow)) return;
    bool smooth = smoothing.Applies();
    for (unsigned i = 0; smooth && i < frame->componentCount; ++i)
        smooth = SmoothingPlan::TableAllows(components[i].Quant());
    for (unsigned i = 0; i < frame->componentCount; ++i)
        if (frame->sharedWith[i] == i)
            components[i].TransformMcuRow(mcuRow, smooth ? &smoothing.BitsFor(i, mcuRow) : nullptr);
    held = static_cast<int>(mcuRow);
}

std::size_t PictureDecoder::OutputWidth() const {
    if (!frame) return 0;
    return Accurate() ? DivideUp(std::size_t{frame->width} * settings.scaledSize, 8) : frame->width;
}

std::size_t PictureDecoder::OutputHeight() const {
    if (!frame) return 0;
    return Accurate() ? DivideUp(std::size_t{frame->height} * settings.scaledSize, 8)
                      : frame->height;
}

std::size_t PictureDecoder::OutputMcuHeight() const {
    if (!frame) return 8;
    return std::size_t{frame->maxVerticalSampling} * (Accurate() ? settings.scaledSize : 8);
}

Columns PictureDecoder::Clip(Columns columns) const {
    columns.last = std::min(columns.last, OutputWidth());
    columns.first = std::min(columns.first, columns.last);
    return columns;
}

// Strict decodes convert nothing before a scan has begun (the picture stays
// zero); tolerant ones give what no data reached.
bool PictureDecoder::Converts() const {
    return frame && (scansDone > 0 || settings.tolerant);
}

FourComponents PictureDecoder::Inks() const {
    return {&ComponentAt(0), &ComponentAt(1), &ComponentAt(2), &ComponentAt(3)};
}

bool PictureDecoder::ConvertRowsInto(std::size_t first, std::size_t last, std::uint32_t* out,
                                     Columns columns) {
    if (!Converts()) return false;
    columns = Clip(columns);
    if (Accurate())
        return rowConverter.Bgra(Colours(), first, last, columns.first, columns.last, out);
    return ExactRowsInto(
        first, last,
        {reinterpret_cast<std::uint8_t*>(out), ColourLayout::Bgra, columns.first, columns.last});
}

bool PictureDecoder::PixelRowsInto(std::size_t first, std::size_t last, PixelFormat format,
                                   std::uint8_t* out, Columns columns) {
    if (!Converts()) return false;
    columns = Clip(columns);
    if (Accurate())
        return rowConverter.Colour(Colours(), first, last, columns.first, columns.last, format,
                                   out);
    const std::optional<ColourLayout> layout = ColourLayoutOf(format);
    return layout && ExactRowsInto(first, last, {out, *layout, columns.first, columns.last});
}

bool PictureDecoder::ExactRowsInto(std::size_t first, std::size_t last, const PixelTarget& target) {
    const FrameSize size{frame->width, frame->height};
    const RowRange rows{first, last};
    switch (Colours()) {
        case ColourSpace::Grey:
            return ConvertGrayscale(ComponentAt(0), size, rows, target, kernels);
        case ColourSpace::Rgb:
            return ConvertRgb(ComponentAt(0), ComponentAt(1), ComponentAt(2), size, rows, target);
        case ColourSpace::YCbCr:
            return ConvertYCbCr(ComponentAt(0), ComponentAt(1), ComponentAt(2), size, rows, target,
                                kernels);
        case ColourSpace::Cmyk:
        case ColourSpace::Ycck:
            return ConvertInks(Inks(), Colours() == ColourSpace::Ycck, size, rows, target);
    }
    return false;
}

bool PictureDecoder::GreyRowsInto(std::size_t first, std::size_t last, std::uint8_t* out,
                                  Columns columns) {
    if (!Converts()) return false;
    columns = Clip(columns);
    if (Accurate())
        return rowConverter.Grey(Colours(), first, last, columns.first, columns.last, out);
    const FrameSize size{frame->width, frame->height};
    if (columns.first != 0 || columns.last != frame->width) {
        std::vector<std::uint8_t> row(frame->width);
        const std::size_t end = std::min<std::size_t>(last, frame->height);
        for (std::size_t y = first; y < end; ++y) {
            if (!GreyRowsInto(y, y + 1, row.data())) return false;
            out = std::copy(row.begin() + static_cast<std::ptrdiff_t>(columns.first),
                            row.begin() + static_cast<std::ptrdiff_t>(columns.last), out);
        }
        return true;
    }
    const RowRange rows{first, last};
    switch (Colours()) {
        case ColourSpace::Rgb:
            return LumaOfRgb(ComponentAt(0), ComponentAt(1), ComponentAt(2), size, rows, out);
        case ColourSpace::Cmyk:
        case ColourSpace::Ycck:
            return LumaOfInks(Inks(), Colours() == ColourSpace::Ycck, size, rows, out);
        case ColourSpace::Grey:
        case ColourSpace::YCbCr:
            break;
    }
    // The first component is the grey one, or Y: the luma of JFIF's YCbCr.
    return CopyGreySamples(ComponentAt(0), size, rows, out);
}

bool PictureDecoder::InkRowsInto(std::size_t first, std::size_t last, std::uint8_t* out,
                                 Columns columns) {
    if (!Converts()) return false;
    columns = Clip(columns);
    if (Accurate())
        return rowConverter.Inks(Colours(), first, last, columns.first, columns.last, out);
    const ColourSpace colours = Colours();
    const std::size_t width = columns.last - columns.first;
    const std::size_t end = std::min<std::size_t>(last, frame->height);
    if ((colours == ColourSpace::Cmyk || colours == ColourSpace::Ycck) && width == frame->width)
        return CopyInks(Inks(), colours == ColourSpace::Ycck,
                        FrameSize{frame->width, frame->height}, {first, last}, out);
    // A row at a time: cropped inks, or other pictures as red, green, blue
    // and no black ink.
    std::vector<std::uint8_t> inks(std::size_t{frame->width} * 4);
    std::vector<std::uint32_t> pixels;
    for (std::size_t row = std::min(first, end); row < end; ++row) {
        if (colours == ColourSpace::Cmyk || colours == ColourSpace::Ycck) {
            if (!CopyInks(Inks(), colours == ColourSpace::Ycck,
                          FrameSize{frame->width, frame->height}, {row, row + 1}, inks.data()))
                return false;
            out = std::copy_n(inks.begin() + static_cast<std::ptrdiff_t>(4 * columns.first),
                              4 * width, out);
            continue;
        }
        pixels.resize(width);
        if (!ConvertRowsInto(row, row + 1, pixels.data(), columns)) return false;
        for (const std::uint32_t pixel : pixels) {
            *out++ = static_cast<std::uint8_t>(pixel >> 16);
            *out++ = static_cast<std::uint8_t>(pixel >> 8);
            *out++ = static_cast<std::uint8_t>(pixel);
            *out++ = 255;
        }
    }
    return true;
}

}  // namespace Tessera
