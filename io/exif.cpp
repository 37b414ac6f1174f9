#include "io/exif.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include <libexif/exif-data.h>
#include <libexif/exif-log.h>

namespace vantorra {
namespace {

// A 35-mm-equivalent focal length outside this range is a corrupt or misread tag, not a lens.
constexpr double kMinFocal35mm = 1;
constexpr double kMaxFocal35mm = 5000;
constexpr size_t kExifHeaderBytes = 6;  // "Exif\0\0"
constexpr size_t kMaxSegmentPayload = 65533;  // a JPEG segment's length field counts itself

void note(ExifFacts& facts, const std::string& reason) {
    if (!facts.ignored.empty()) facts.ignored += "; ";
    facts.ignored += reason;
}

uint32_t tiffWord(const uint8_t* p, bool bigEndian) {
    return bigEndian ? (uint32_t{p[0]} << 8 | p[1]) : (uint32_t{p[1]} << 8 | p[0]);
}

uint32_t tiffLong(const uint8_t* p, bool bigEndian) {
    return bigEndian ? (tiffWord(p, true) << 16 | tiffWord(p + 2, true))
                     : (tiffWord(p + 2, false) << 16 | tiffWord(p, false));
}

// libexif loads whatever part of a damaged block it can reach and says so only in debug messages,
// so a block whose header or first directory (where the orientation lives) is damaged is refused
// here as a whole: a half-read directory is not trusted.
const char* damage(const uint8_t* payload, size_t size) {
    if (size < kExifHeaderBytes || std::memcmp(payload, "Exif\0\0", kExifHeaderBytes) != 0)
        return "no Exif header";
    if (size > kMaxSegmentPayload) return "larger than a JPEG segment can hold";
    const uint8_t* tiff = payload + kExifHeaderBytes;
    const size_t length = size - kExifHeaderBytes;
    if (length < 8) return "the block ends inside its TIFF header";
    const bool bigEndian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!bigEndian && !(tiff[0] == 'I' && tiff[1] == 'I')) return "no TIFF byte order mark";
    if (tiffWord(tiff + 2, bigEndian) != 42) return "no TIFF header";
    const uint32_t directory = tiffLong(tiff + 4, bigEndian);
    if (directory < 8 || directory > length - 2) return "the first directory lies outside the block";
    const size_t entries = tiffWord(tiff + directory, bigEndian);
    if (directory + 2 + entries * 12 > length) return "the block is cut short inside its first directory";
    return nullptr;
}

// libexif's complaints about corrupt data (debug chatter is dropped): the first one is kept.
void captureComplaint(ExifLog*, ExifLogCode code, const char*, const char* format, va_list args, void* data) {
    if (code != EXIF_LOG_CODE_CORRUPT_DATA && code != EXIF_LOG_CODE_NO_MEMORY) return;
    auto& complaint = *static_cast<std::string*>(data);
    if (!complaint.empty()) return;
    char text[160];
    std::vsnprintf(text, sizeof text, format, args);
    complaint = text;
    while (!complaint.empty() && (complaint.back() == '\n' || complaint.back() == '.')) complaint.pop_back();
}

struct ExifDataRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
struct ExifLogRelease {
    void operator()(ExifLog* log) const { exif_log_unref(log); }
};

// The first value of an integer tag, from either of the integer formats cameras use.
bool readInteger(const ExifEntry* entry, ExifByteOrder order, long& value) {
    if (!entry || entry->components < 1 || !entry->data) return false;
    if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2) value = exif_get_short(entry->data, order);
    else if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4) value = exif_get_long(entry->data, order);
    else return false;
    return true;
}

// The first value of a rational tag; false with a reason for a zero denominator or a wrong format.
bool readRational(const ExifEntry* entry, ExifByteOrder order, const char* name, double& value,
                  ExifFacts& facts) {
    if (!entry || entry->components < 1 || !entry->data || entry->size < 8 ||
        (entry->format != EXIF_FORMAT_RATIONAL && entry->format != EXIF_FORMAT_SRATIONAL)) {
        if (entry) note(facts, std::string(name) + " is not a rational number");
        return false;
    }
    double numerator, denominator;
    if (entry->format == EXIF_FORMAT_RATIONAL) {
        const ExifRational r = exif_get_rational(entry->data, order);
        numerator = r.numerator;
        denominator = r.denominator;
    } else {
        const ExifSRational r = exif_get_srational(entry->data, order);
        numerator = r.numerator;
        denominator = r.denominator;
    }
    if (denominator == 0) {
        note(facts, std::string(name) + " has a zero denominator");
        return false;
    }
    value = numerator / denominator;
    return true;
}

bool plausibleFocal(double focal35mm) {
    return std::isfinite(focal35mm) && focal35mm >= kMinFocal35mm && focal35mm <= kMaxFocal35mm;
}

std::string millimetres(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g mm", value);
    return text;
}

void readOrientation(ExifData* data, ExifByteOrder order, ExifFacts& facts) {
    // Only the main image's directory: the thumbnail's (IFD 1) may say something else.
    const ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry) return;
    long value = 0;
    if (!readInteger(entry, order, value)) note(facts, "the orientation is not an integer");
    else if (value < 1 || value > 8) note(facts, "orientation " + std::to_string(value) + " is not one of 1..8");
    else facts.orientation = static_cast<int>(value);
}

ExifEntry* exifEntry(ExifData* data, ExifTag tag) {
    ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], tag);
    return entry ? entry : exif_content_get_entry(data->ifd[EXIF_IFD_0], tag);
}

// Millimetres per unit of FocalPlaneResolutionUnit (inch when absent), 0 for none or unknown.
double focalPlaneUnitMm(ExifData* data, ExifByteOrder order) {
    long unit = 2;
    const ExifEntry* entry = exifEntry(data, EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT);
    if (entry && !readInteger(entry, order, unit)) return 0;
    switch (unit) {
        case 2: return 25.4;
        case 3: return 10;
        case 4: return 1;
        case 5: return 0.001;
        default: return 0;
    }
}

// The sensor's size follows from the pixels per unit on the focal plane and the pixel size of
// the frame those pixels describe (the one the block records, else the stored frame).
double sensorDiagonalMm(ExifData* data, ExifByteOrder order, int storedWidth, int storedHeight,
                        ExifFacts& facts) {
    double xResolution = 0, yResolution = 0;
    if (!readRational(exifEntry(data, EXIF_TAG_FOCAL_PLANE_X_RESOLUTION), order, "FocalPlaneXResolution",
                      xResolution, facts))
        return 0;
    if (!readRational(exifEntry(data, EXIF_TAG_FOCAL_PLANE_Y_RESOLUTION), order, "FocalPlaneYResolution",
                      yResolution, facts))
        yResolution = xResolution;  // square pixels when only one is given
    const double unitMm = focalPlaneUnitMm(data, order);
    if (unitMm == 0 || !(xResolution > 0) || !(yResolution > 0)) {
        note(facts, "the focal-plane resolution has no usable unit or value");
        return 0;
    }
    long width = 0, height = 0;
    if (!readInteger(exifEntry(data, EXIF_TAG_PIXEL_X_DIMENSION), order, width) ||
        !readInteger(exifEntry(data, EXIF_TAG_PIXEL_Y_DIMENSION), order, height) || width <= 0 || height <= 0) {
        width = storedWidth;
        height = storedHeight;
    }
    return std::hypot(width / xResolution * unitMm, height / yResolution * unitMm);
}

void readFocal(ExifData* data, ExifByteOrder order, int storedWidth, int storedHeight, ExifFacts& facts) {
    long equivalent = 0;
    // 0 in the 35-mm tag means "unknown" by definition.
    if (readInteger(exifEntry(data, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM), order, equivalent) && equivalent != 0) {
        if (plausibleFocal(static_cast<double>(equivalent))) {
            facts.focal35mm = static_cast<float>(equivalent);
            return;
        }
        note(facts, "35-mm focal length " + std::to_string(equivalent) + " mm is implausible");
    }
    const ExifEntry* focalEntry = exifEntry(data, EXIF_TAG_FOCAL_LENGTH);
    double focal = 0;
    if (!focalEntry || !readRational(focalEntry, order, "FocalLength", focal, facts)) return;
    if (!exifEntry(data, EXIF_TAG_FOCAL_PLANE_X_RESOLUTION)) return;  // no sensor size: unknown
    if (storedWidth <= 0 || storedHeight <= 0) return;
    const double diagonal = sensorDiagonalMm(data, order, storedWidth, storedHeight, facts);
    if (diagonal == 0) return;
    const double focal35mm = focal * kFullFrameDiagonalMm / diagonal;
    if (plausibleFocal(focal35mm)) facts.focal35mm = static_cast<float>(focal35mm);
    else note(facts, "focal length " + millimetres(focal) + " is " + millimetres(focal35mm) +
                         " in 35-mm terms, which is implausible");
}

}  // namespace

ExifFacts readExifFacts(const uint8_t* payload, size_t size, int storedWidth, int storedHeight) {
    ExifFacts facts;
    if (const char* reason = damage(payload, size)) {
        note(facts, std::string("EXIF block ignored: ") + reason);
        return facts;
    }
    const std::unique_ptr<ExifData, ExifDataRelease> data(exif_data_new());
    const std::unique_ptr<ExifLog, ExifLogRelease> log(exif_log_new());
    if (!data || !log) {
        note(facts, "EXIF block ignored: out of memory");
        return facts;
    }
    std::string complaint;
    exif_log_set_func(log.get(), captureComplaint, &complaint);
    exif_data_log(data.get(), log.get());
    // Following the standard strictly would make libexif add every mandatory tag the block
    // lacks, with made-up values (a pixel size of 0, say): only what the file holds is wanted.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), payload, static_cast<unsigned>(size));
    const ExifByteOrder order = exif_data_get_byte_order(data.get());
    readOrientation(data.get(), order, facts);
    readFocal(data.get(), order, storedWidth, storedHeight, facts);
    if (!complaint.empty()) note(facts, "EXIF data partly unreadable: " + complaint);
    return facts;
}

bool plausibleFocal35mm(double focal35mm) { return plausibleFocal(focal35mm); }

float focalInPixels(const ExifFacts& facts, int uprightWidth, int uprightHeight) {
    if (!(facts.focal35mm > 0) || uprightWidth <= 0 || uprightHeight <= 0) return 0;
    const double diagonal = std::hypot(static_cast<double>(uprightWidth), static_cast<double>(uprightHeight));
    return static_cast<float>(facts.focal35mm / kFullFrameDiagonalMm * diagonal);
}

}  // namespace vantorra
