#pragma once
// Where a rendered panorama goes, rows in order from the top: into an image in memory, or
// encoded to a JPEG file as the rows are finished, so a panorama larger than the memory budget
// is never held whole.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "core/image.h"
#include "io/panorama_format.h"

namespace vantorra {

class PanoramaSink {
public:
    virtual ~PanoramaSink() = default;
    // Called once before any row; false (with error()) refuses the panorama.
    virtual bool begin(int width, int height) = 0;
    // `count` rows of width x 3 bytes (RGB); false (with error()) stops the render.
    virtual bool writeRows(const uint8_t* rgb, int count) = 0;
    // After the last row; false (with error()) when the panorama could not be completed.
    virtual bool finish() = 0;
    // Whether the whole panorama stays in memory (the render's budget must hold it).
    virtual bool holdsWholePanorama() const = 0;
    // Whether the sink keeps 16 bits a sample: the render then hands it rows through
    // writeWideRows, `count` rows of width x 3 samples 0..65535, instead of writeRows (which a
    // 16-bit sink still takes, each byte b as b x 257). A sink of 8 bits refuses wide rows.
    virtual bool wantsWideRows() const { return false; }
    virtual bool writeWideRows(const uint16_t* rgb, int count);
    // What the file should carry of the photographs' metadata; before begin(). A sink that
    // writes no file ignores it.
    virtual void setMetadata(PanoramaMetadata) {}
    const std::string& error() const { return error_; }

protected:
    std::string error_;
};

// Hands a whole image to a sink: begin, every row, finish. False (reason in the sink) on failure.
bool writeToSink(const Image& image, PanoramaSink& sink);

// Collects the rows into `image`.
class ImageSink : public PanoramaSink {
public:
    explicit ImageSink(Image& image) : image_(image) {}
    bool begin(int width, int height) override;
    bool writeRows(const uint8_t* rgb, int count) override;
    bool finish() override { return row_ == image_.rows; }
    bool holdsWholePanorama() const override { return true; }

private:
    Image& image_;
    int row_ = 0;
};

// A sink that encodes into a file, which is complete once finish() succeeded.
class FileSink : public PanoramaSink {
public:
    bool holdsWholePanorama() const override { return false; }
    bool finished() const { return finished_; }

protected:
    bool finished_ = false;
};

// Encodes the rows straight into a baseline JPEG at `path` (written in place: the caller picks a
// temporary name and renames it when the run succeeds). A sink that fails or is destroyed
// before finish() removes its file.
class JpegFileSink : public FileSink {
public:
    JpegFileSink(std::string path, int quality);
    // Encodes into `file` (owned from here on, closed by finish or on failure); `name` is for
    // messages only, and no file is removed on failure: the caller owns what `file` is.
    JpegFileSink(std::FILE* file, std::string name, int quality);
    ~JpegFileSink() override;
    JpegFileSink(const JpegFileSink&) = delete;
    JpegFileSink& operator=(const JpegFileSink&) = delete;

    bool begin(int width, int height) override;
    bool writeRows(const uint8_t* rgb, int count) override;
    bool finish() override;
    void setMetadata(PanoramaMetadata metadata) override { metadata_ = std::move(metadata); }
    const std::string& path() const { return path_; }

private:
    struct Encoder;  // libjpeg's state, kept out of this header
    void abandon();
    bool begun();   // false, with the reason, before begin() has succeeded
    bool failed();  // after the library's error: the reason, the encoder dropped, false

    std::string path_;
    int quality_;
    PanoramaMetadata metadata_;
    std::unique_ptr<Encoder> encoder_;
    std::FILE* given_ = nullptr;  // a file handed over, not opened here
};

}  // namespace vantorra
