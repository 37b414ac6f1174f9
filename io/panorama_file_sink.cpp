#include "io/panorama_file_sink.h"

#include "io/png_writer.h"
#include "io/tiff_writer.h"

namespace vantorra {

std::unique_ptr<FileSink> makeFileSink(std::FILE* file, std::string name, const PanoramaEncoding& encoding) {
    std::unique_ptr<FileSink> sink;
    switch (encoding.format) {
        case PanoramaFormat::Tiff: sink = std::make_unique<TiffFileSink>(file, std::move(name), encoding.depth); break;
        case PanoramaFormat::Png: sink = std::make_unique<PngFileSink>(file, std::move(name), encoding.depth); break;
        case PanoramaFormat::Jpeg: sink = std::make_unique<JpegFileSink>(file, std::move(name), encoding.quality); break;
    }
    sink->setMetadata(encoding.metadata);
    return sink;
}

}  // namespace vantorra
