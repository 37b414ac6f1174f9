#include "io/photo_metadata.h"

#include <cmath>
#include <memory>
#include <mutex>

#include <exiv2/exiv2.hpp>

namespace vantorra {
namespace {

constexpr const char* kPanoramaNamespace = "http://ns.google.com/photos/1.0/panorama/";

// exiv2's XMP toolkit must be set up once, before any thread uses it; its log stays quiet (a
// photograph's odd metadata is the log's business, through the warnings).
void setUpExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
        Exiv2::XmpProperties::registerNs(kPanoramaNamespace, "GPano");
    });
}

// The camera and exposure fields a panorama keeps of its first photograph.
const char* const kCarriedKeys[] = {
    "Exif.Image.Make",           "Exif.Image.Model",           "Exif.Image.Artist",
    "Exif.Image.Copyright",      "Exif.Photo.DateTimeOriginal", "Exif.Photo.OffsetTimeOriginal",
    "Exif.Photo.ExposureTime",   "Exif.Photo.FNumber",          "Exif.Photo.ISOSpeedRatings",
    "Exif.Photo.ExposureProgram", "Exif.Photo.ExposureBiasValue", "Exif.Photo.LensMake",
    "Exif.Photo.LensModel",      "Exif.Photo.LensSpecification",
};

std::vector<uint8_t> profileOf(Exiv2::Image& image) {
    if (!image.iccProfileDefined()) return {};
    const Exiv2::DataBuf* profile = image.iccProfile();
    return std::vector<uint8_t>(profile->pData_, profile->pData_ + profile->size_);
}

Exiv2::ExifData panoramaExif(const Exiv2::ExifData& source, int width, int height) {
    Exiv2::ExifData exif;
    for (const char* key : kCarriedKeys) {
        const auto found = source.findKey(Exiv2::ExifKey(key));
        if (found != source.end()) exif.add(*found);
    }
    exif["Exif.Image.Orientation"] = static_cast<uint16_t>(1);
    exif["Exif.Image.Software"] = std::string("Vantorra ") + VANTORRA_VERSION;
    exif["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(width);
    exif["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(height);
    return exif;
}

void placeOnSphere(Exiv2::XmpData& xmp, const SpherePlacement& sphere, int width, int height) {
    xmp["Xmp.GPano.ProjectionType"] = "equirectangular";
    xmp["Xmp.GPano.UsePanoramaViewer"] = "True";
    xmp["Xmp.GPano.FullPanoWidthPixels"] = static_cast<int32_t>(sphere.fullWidth);
    xmp["Xmp.GPano.FullPanoHeightPixels"] = static_cast<int32_t>(sphere.fullHeight);
    xmp["Xmp.GPano.CroppedAreaImageWidthPixels"] = static_cast<int32_t>(width);
    xmp["Xmp.GPano.CroppedAreaImageHeightPixels"] = static_cast<int32_t>(height);
    xmp["Xmp.GPano.CroppedAreaLeftPixels"] = static_cast<int32_t>(sphere.left);
    xmp["Xmp.GPano.CroppedAreaTopPixels"] = static_cast<int32_t>(sphere.top);
}

std::string tag(const Exiv2::ExifData& exif, const char* key) {
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    return found == exif.end() ? std::string() : found->toString();
}

// Opens and reads a file's metadata; null with the reason when exiv2 cannot.
std::unique_ptr<Exiv2::Image> opened(const std::string& path, std::string& why) {
    try {
        std::unique_ptr<Exiv2::Image> image(Exiv2::ImageFactory::open(path).release());
        image->readMetadata();
        return image;
    } catch (const std::exception& error) {
        why = error.what();
        return nullptr;
    }
}

}  // namespace

CarriedMetadata carryMetadata(const std::vector<std::string>& photographs, int width, int height,
                              const std::optional<SpherePlacement>& sphere) {
    setUpExiv2();
    CarriedMetadata carried;
    PanoramaMetadata& metadata = carried.metadata;
    Exiv2::ExifData exif;
    if (!photographs.empty()) {
        std::string why;
        if (std::unique_ptr<Exiv2::Image> first = opened(photographs.front(), why)) {
            metadata.icc = profileOf(*first);
            exif = panoramaExif(first->exifData(), width, height);
        } else {
            carried.warnings.push_back("the metadata of " + photographs.front() + " was not carried over: " + why);
            exif = panoramaExif(Exiv2::ExifData(), width, height);
        }
        for (size_t i = 1; i < photographs.size(); ++i) {
            std::string ignored;
            std::unique_ptr<Exiv2::Image> other = opened(photographs[i], ignored);
            if (other && profileOf(*other) != metadata.icc) {
                carried.warnings.push_back("the photographs' colour profiles differ: the panorama has that of " +
                                           photographs.front());
                break;
            }
        }
    }
    try {
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
        metadata.exif.assign(blob.begin(), blob.end());
        Exiv2::XmpData xmp;
        Exiv2::copyExifToXmp(exif, xmp);  // a TIFF keeps the EXIF fields in its XMP
        if (sphere) placeOnSphere(xmp, *sphere, width, height);
        if (Exiv2::XmpParser::encode(metadata.xmp, xmp, Exiv2::XmpParser::useCompactFormat) != 0) metadata.xmp.clear();
    } catch (const std::exception& error) {
        carried.warnings.push_back(std::string("the panorama's metadata could not be encoded: ") + error.what());
    }
    metadata.tags = {tag(exif, "Exif.Image.Make"), tag(exif, "Exif.Image.Model"), tag(exif, "Exif.Image.Software"),
                     tag(exif, "Exif.Photo.DateTimeOriginal")};
    return carried;
}

std::string ReadMetadata::field(const std::string& key) const {
    for (const auto& [name, value] : fields)
        if (name == key) return value;
    return std::string();
}

std::optional<ReadMetadata> readMetadata(const std::string& path, std::string* error) {
    setUpExiv2();
    std::string why;
    std::unique_ptr<Exiv2::Image> image = opened(path, why);
    if (!image) {
        if (error) *error = why;
        return std::nullopt;
    }
    ReadMetadata read;
    read.icc = profileOf(*image);
    for (const Exiv2::Exifdatum& datum : image->exifData()) read.fields.emplace_back(datum.key(), datum.toString());
    for (const Exiv2::Xmpdatum& datum : image->xmpData()) read.fields.emplace_back(datum.key(), datum.toString());
    return read;
}

}  // namespace vantorra
