#include "io/parameter_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>


namespace vantorra {
namespace {

Matrix fromRows(const std::vector<float>& values) {
    Matrix m(3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.at(r, c) = values[static_cast<size_t>(3 * r + c)];
    return m;
}

Matrix turn(float a, float b) {  // a proper rotation with non-trivial digits in every entry
    const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    return fromRows({ca, -sa * cb, sa * sb, sa, ca * cb, -ca * sb, 0.0f, sb, cb});
}

Matrix transformFor(int width, int height, float scale) {
    return fromRows({scale, 0.0f, 0.5f * height, 0.0f, scale, 0.5f * width, 0.0f, 0.0f, 1.0f});
}

// The records of a file and the panorama they form.
struct Saved {
    std::vector<CameraRecord> records;
    std::vector<int32_t> component;
    bool matrices = false;

    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const CameraRecord& r : records) all.push_back(r.name);
        return all;
    }
};

// Three images: 0 and 2 form the panorama, 1 was left out (imageTransform only).
Saved sampleRecords() {
    Saved s;
    s.records.resize(3);
    s.records[0] = {"/photos/a.jpg", {480, 640, 3}, {turn(0.1234567f, -0.3f), 512.34567f, transformFor(640, 480, 1.6f)}};
    s.records[1] = {"/photos/b.jpg", {600, 800, 3}, {}};
    s.records[1].camera.imageTransform = transformFor(800, 600, 2.0f);
    s.records[2] = {"/photos/c.jpg", {480, 640, 3}, {turn(-0.7654321f, 0.25f), 498.7654f, transformFor(640, 480, 1.6f)}};
    s.component = {0, 2};
    return s;
}

void expectMatrixNear(const Matrix& actual, const Matrix& expected, const std::string& what) {
    ASSERT_EQ(actual.rows, 3) << what;
    ASSERT_EQ(actual.cols, 3) << what;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const float e = expected.at(r, c);
            EXPECT_NEAR(actual.at(r, c), e, 1e-5f * std::max(1.0f, std::fabs(e))) << what << " (" << r << ", " << c << ")";
        }
}

std::string written(const Saved& s) {
    std::ostringstream out;
    writeParameterFile(out, s.records, s.component, s.matrices);
    return out.str();
}

int readText(const std::string& text, Saved& s) {
    std::istringstream in(text);
    return readParameterFile(in, s.records);
}

class TempFile {
public:
    explicit TempFile(const std::string& text) {
        path_ = std::filesystem::temp_directory_path() /
                ("vantorra_pano_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt");
        std::ofstream(path_) << text;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

TEST(ParameterFile, WriteThenLoadGivesSameImagesAndComponent) {
    const Saved original = sampleRecords();
    const TempFile file(written(original));
    Saved loaded;
    loaded.records.resize(5);  // emptied first
    ASSERT_EQ(loadParameterFile(file.path(), int64_t{1} << 28, loaded.records), 3);

    EXPECT_EQ(loaded.names(), original.names());
    ASSERT_EQ(loaded.records.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded.records[i].size.width, original.records[i].size.width);
        EXPECT_EQ(loaded.records[i].size.height, original.records[i].size.height);
        EXPECT_EQ(loaded.records[i].size.channels, 3);
        expectMatrixNear(loaded.records[i].camera.imageTransform, original.records[i].camera.imageTransform,
                         "imageTransform");
    }
    for (const size_t i : {0u, 2u}) {
        expectMatrixNear(loaded.records[i].camera.R, original.records[i].camera.R, "R");
        EXPECT_NEAR(loaded.records[i].camera.f, original.records[i].camera.f, 1e-5f * original.records[i].camera.f);
    }
    // The image left out comes back unregistered and stays out.
    EXPECT_EQ(loaded.records[1].camera.f, 0.0f);
    expectMatrixNear(loaded.records[1].camera.R, Matrix(3, 3), "zero R");
    EXPECT_EQ(registeredRecords(loaded.records), original.component);
}

TEST(ParameterFile, RecordLayout) {
    Matrix identity(3, 3);
    identity.setIdentity();
    Saved s;
    s.records = {{"in.jpg", {480, 640, 3}, {identity, 500.25f, identity}}, {"out.jpg", {200, 300, 3}, {}}};
    s.records[1].camera.imageTransform = identity;
    s.component = {0};
    std::ostringstream out;
    out << std::fixed << std::setprecision(2);  // the caller's formatting must not leak into the file
    writeParameterFile(out, s.records, s.component);
    EXPECT_EQ(out.str(),
              "in.jpg\n640 480\n\n1 0 0 \n0 1 0 \n0 0 1 \n1 0 0 \n0 1 0 \n0 0 1 \n500.25\n\n"
              "out.jpg\n300 200\n1 0 0 \n0 1 0 \n0 0 1 \n0 0 0 \n0 0 0 \n0 0 0 \n0\n\n");
    EXPECT_TRUE(out.flags() & std::ios::fixed);
    EXPECT_EQ(out.precision(), 2);
}

TEST(ParameterFile, NamesWithSpacesRoundTrip) {
    Saved s = sampleRecords();
    s.records[0].name = "/home/me/My Photos/day 1.jpg";
    s.records[1].name = "/tmp/b c.jpg";
    s.records[1].name = "/tmp/b c.jpg ";
    s.records[2].name = "  x.jpg";
    Saved loaded;
    ASSERT_EQ(readText(written(s), loaded), 3);
    EXPECT_EQ(loaded.records[0].name, "/home/me/My Photos/day 1.jpg");
    // Leading and trailing spaces are part of the name: another file may have the trimmed one.
    EXPECT_EQ(loaded.records[1].name, "/tmp/b c.jpg ");
    EXPECT_EQ(loaded.records[2].name, "  x.jpg");
}

TEST(ParameterFile, SpacingAndBlankLinesDoNotMatter) {
    const Saved original = sampleRecords();
    const std::string plain = written(original);
    std::string loose;  // names are whole lines, kept as they are but for a carriage return
    std::istringstream plainLines(plain);
    for (std::string line; std::getline(plainLines, line);) {
        if (line.find(".jpg") != std::string::npos) {
            loose += line + "\r\n\n";
            continue;
        }
        for (const char c : line) loose += c == ' ' ? std::string(" \t  ") : std::string(1, c);
        loose += "  \r\n\n";
    }
    std::string oneLine;  // the numbers of a record may share lines freely
    std::istringstream lines(plain);
    for (std::string line; std::getline(lines, line);) oneLine += line + (line.find(".jpg") != std::string::npos ? "\n" : " ");

    for (const std::string& text : {loose, oneLine}) {
        Saved a, b;
        ASSERT_EQ(readText(plain, a), 3);
        ASSERT_EQ(readText(text, b), 3);
        EXPECT_EQ(a.names(), b.names());
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(a.records[i].size.width, b.records[i].size.width);
            EXPECT_EQ(a.records[i].camera.R.data, b.records[i].camera.R.data);
            EXPECT_EQ(a.records[i].camera.imageTransform.data, b.records[i].camera.imageTransform.data);
            EXPECT_EQ(a.records[i].camera.f, b.records[i].camera.f);
        }
    }
}

// One bad record refuses the whole file: a panorama of the records before it would be a
// partial result reported as a success.
TEST(ParameterFile, FaultyRecordRefusesTheWholeFileNamingIt) {
    const std::string text = written(sampleRecords());
    const size_t second = text.find("/photos/b.jpg");
    const size_t third = text.find("/photos/c.jpg");
    const std::string head = text.substr(0, second);
    const std::string tail = text.substr(third);
    auto replacedIn = [&](size_t begin, size_t end, const std::string& from, const std::string& to) {
        std::string record = text.substr(begin, end - begin);
        const size_t at = record.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.substr(0, begin) + record.replace(at, from.size(), to) + text.substr(end);
    };
    auto replaced = [&](const std::string& from, const std::string& to) {
        return replacedIn(second, third, from, to);
    };
    // The third record is in the panorama, so its rotation is checked. Its lines: name, size,
    // blank, three of imageTransform, three of R, f.
    auto rotationOfThird = [&](const std::string& to) {
        size_t begin = third;
        for (int line = 0; line < 6; ++line) begin = text.find('\n', begin) + 1;
        size_t end = begin;
        for (int line = 0; line < 3; ++line) end = text.find('\n', end) + 1;
        return text.substr(0, begin) + to + text.substr(end);
    };

    struct Case {
        const char* what;
        std::string text;
        int record;
    };
    const Case cases[] = {
        {"cut inside the sizes", head + "/photos/b.jpg\n800", 2},
        {"cut inside a matrix", text.substr(0, text.size() - 12), 3},
        {"name without numbers", head + "/photos/b.jpg\n", 2},
        {"nan", replaced("800 600", "800 600 nan"), 2},
        {"inf", replaced("800 600", "800 600 inf"), 2},
        {"huge", replaced("800 600", "800 600 1e39"), 2},
        {"zero width in the panorama", replacedIn(third, text.size(), "640 480", "0 480"), 3},
        {"negative height", replaced("800 600", "800 -600"), 2},
        {"fractional size", replaced("800 600", "800.5 600"), 2},
        {"non-finite focal length", text.substr(0, text.rfind("498.765")) + "nan\n", 3},
        {"stretched rotation", rotationOfThird("2 0 0 \n0 1 0 \n0 0 1 \n"), 3},
        {"sheared rotation", rotationOfThird("1 0.01 0 \n0 1 0 \n0 0 1 \n"), 3},
        {"zero rotation with a focal length", rotationOfThird("0 0 0 \n0 0 0 \n0 0 0 \n"), 3},
        {"reflection", rotationOfThird("1 0 0 \n0 1 0 \n0 0 -1 \n"), 3},
        {"trailing name", text + "/photos/d.jpg\n", 4},
    };
    for (const Case& c : cases) {
        Saved s;
        s.records = {{"kept.jpg", {}, {}}};
        std::istringstream in(c.text);
        std::string error;
        EXPECT_EQ(readParameterFile(in, s.records, &error), -1) << c.what;
        EXPECT_EQ(s.names(), std::vector<std::string>{"kept.jpg"}) << c.what;
        EXPECT_EQ(error.rfind("record " + std::to_string(c.record) + " ", 0), 0u) << c.what << ": " << error;
    }
}

// Six significant digits already move R * R^T about 1e-6 from the identity; the check allows
// small edits by hand and refuses a visibly distorted matrix.
TEST(ParameterFile, RotationToleranceSeparatesRoundingFromDistortion) {
    Saved identity = sampleRecords();
    identity.records[0].camera.R.setIdentity();
    const std::string text = written(identity);
    const std::string rotation = "1 0 0 \n0 1 0 \n0 0 1 \n";
    const size_t at = text.find(rotation);  // camera 0's imageTransform is no identity
    ASSERT_NE(at, std::string::npos);
    struct Case {
        const char* firstEntry;
        int expected;
    };
    for (const Case c : {Case{"1", 3}, Case{"1.0001", 3}, Case{"0.9996", 3}, Case{"1.01", -1}, Case{"0.99", -1}}) {
        std::string edited = text;
        edited.replace(at, 1, c.firstEntry);
        Saved s;
        EXPECT_EQ(readText(edited, s), c.expected) << c.firstEntry;
    }
}

TEST(ParameterFile, RecordsBeyondTheLimitRefuseTheFile) {
    const std::string three = written(sampleRecords());
    struct Case {
        int limit;
        int expected;
    };
    for (const Case c : {Case{3, 3}, Case{2, -1}, Case{1, -1}}) {
        Saved s;
        std::istringstream in(three);
        std::string error;
        EXPECT_EQ(readParameterFile(in, s.records, &error, c.limit), c.expected) << c.limit;
        if (c.expected < 0) {
            EXPECT_NE(error.find("more than " + std::to_string(c.limit) + " records"), std::string::npos) << error;
            EXPECT_TRUE(s.records.empty());
        }
    }
    EXPECT_EQ(maxParameterFileRecords(int64_t{1} << 28), 8192);  // the default 0.25 GB
    EXPECT_EQ(maxParameterFileRecords(int64_t{1} << 30), 32768);
    EXPECT_EQ(maxParameterFileRecords(0), 2);
}

// A photograph that could not be read is recorded outside the panorama with the size 0 x 0.
TEST(ParameterFile, UnreadPhotographOutsideThePanoramaReadsBack) {
    Saved s = sampleRecords();
    s.records[1].size = ImageSize{};
    Saved loaded;
    ASSERT_EQ(readText(written(s), loaded), 3);
    EXPECT_EQ(loaded.records[1].size.width, 0);
    EXPECT_EQ(loaded.records[1].size.height, 0);
    EXPECT_EQ(loaded.records[1].camera.f, 0.0f);
}

TEST(ParameterFile, ReadAppendsToExistingLists) {
    Saved s = sampleRecords();
    EXPECT_EQ(readText(written(sampleRecords()), s), 3);
    EXPECT_EQ(s.records.size(), 6u);
}

TEST(ParameterFile, MatrixLayoutWritesProjection) {
    Saved s = sampleRecords();
    s.matrices = true;
    std::istringstream in(written(s));
    for (size_t i = 0; i < 3; ++i) {
        std::string name, blank;
        int width = 0, height = 0;
        std::getline(in, name);
        EXPECT_EQ(name, s.records[i].name);
        in >> width >> height;
        EXPECT_EQ(width, s.records[i].size.width);
        EXPECT_EQ(height, s.records[i].size.height);
        Matrix expected(3, 3);
        if (i != 1) {
            const Camera& cam = s.records[i].camera;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    for (int k = 0; k < 3; ++k) {
                        const float focal = k < 2 ? cam.f : 1.0f;
                        expected.at(r, c) += cam.imageTransform.at(r, k) * focal * cam.R.at(k, c);
                    }
        }
        Matrix actual(3, 3);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) in >> actual.at(r, c);
        expectMatrixNear(actual, expected, "projection " + std::to_string(i));
        std::getline(in, blank);
        std::getline(in, blank);
        EXPECT_EQ(blank, "");
    }
    std::string rest;
    EXPECT_FALSE(in >> rest);
    Saved reader;
    EXPECT_EQ(readText(written(s), reader), -1);  // the reader takes only the default layout
    EXPECT_TRUE(reader.records.empty());
}

TEST(ParameterFile, MissingFileReadsNothing) {
    Saved s = sampleRecords();
    std::string error;
    EXPECT_EQ(loadParameterFile("/nonexistent/dir/pano.txt", int64_t{1} << 28, s.records, &error), -1);
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_TRUE(s.records.empty());
}

// A lens is recorded after the last record, read back onto its camera, and refused all or
// nothing when its section is broken. The records themselves are unchanged by it.
TEST(ParameterFile, LensDistortionFollowsTheRecordsAndReadsBack) {
    Saved s = sampleRecords();
    const std::string straight = written(s);
    EXPECT_EQ(straight.find("lens"), std::string::npos);
    s.records[0].camera.lens = {-0.0612345f, 0.00123f};
    s.records[2].camera.lens = {-0.0612345f, 0.00123f};
    s.records[1].camera.lens = {0.5f, 0.0f};  // outside the panorama: not recorded
    const std::string bent = written(s);
    ASSERT_EQ(bent.rfind(straight, 0), 0u) << "the records come first, as they were";
    EXPECT_EQ(bent.substr(straight.size()),
              "[lens distortion k1 k2]\nlens -0.0612345 0.00123\nlens 0 0\nlens -0.0612345 0.00123\n");

    Saved back;
    std::string error;
    ASSERT_EQ(readText(bent, back), 3) << error;
    EXPECT_FLOAT_EQ(back.records[0].camera.lens.k1, -0.0612345f);
    EXPECT_FLOAT_EQ(back.records[2].camera.lens.k2, 0.00123f);
    EXPECT_TRUE(back.records[1].camera.lens.none());
    back.component = {0, 2};
    EXPECT_EQ(written(back), bent);

    const std::string section = "[lens distortion k1 k2]\n";
    const struct {
        const char* what;
        std::string tail;
    } broken[] = {
        {"a line short", section + "lens -0.06 0\nlens 0 0\n"},
        {"not a number", section + "lens -0.06 0\nlens 0 0\nlens x 0\n"},
        {"not finite", section + "lens -0.06 0\nlens 0 0\nlens inf 0\n"},
        {"no lens", section + "lens -0.06 0\nlens 0 0\nlens -9 0\n"},
        {"a record after it", section + "lens 0 0\nlens 0 0\nlens 0 0\n/photos/d.jpg\n"},
        {"no keyword", section + "-0.06 0\n0 0\n0 0\n"},
    };
    for (const auto& b : broken) {
        Saved refused;
        std::istringstream in(straight + b.tail);
        std::string error;
        EXPECT_EQ(readParameterFile(in, refused.records, &error), -1) << b.what;
        EXPECT_TRUE(refused.records.empty()) << b.what;
        EXPECT_EQ(error.rfind("record ", 0), 0u) << b.what << ": " << error;  // names the record, as every refusal
    }
    // A section before any record, with text after it (found by fuzzing): refused the same way.
    Saved first;
    std::istringstream in(section + "1 0 199.5\n");
    std::string why;
    EXPECT_EQ(readParameterFile(in, first.records, &why), -1);
    EXPECT_EQ(why, "record 1: text after the lens distortion");
}

}  // namespace
}  // namespace vantorra

namespace vantorra {
namespace {

// The panorama's size and checksum follow the records (and the lens section): read back all or
// nothing, and a reader that stops at a marker, as the first readers of the file did, still
// takes every record before it and no camera for another.
TEST(ParameterFile, ThePanoramaSectionReadsBackAndOlderReadersStopAtItsMarker) {
    Saved s = sampleRecords();
    const std::string straight = written(s);
    s.records[0].camera.lens = {-0.06f, 0.0f};
    const std::string bent = written(s);
    const PanoramaChecksum recorded{"my pano.jpg", 4817722, 0x9f3a0c11};
    const std::string section = panoramaSection(recorded);
    EXPECT_EQ(section, "[panorama bytes crc32]\nmy pano.jpg\n4817722 9f3a0c11\n");
    for (const std::string& records : {straight, bent}) {
        std::istringstream in(records + section);
        Saved read;
        PanoramaChecksum checksum;
        std::string error;
        ASSERT_EQ(readParameterFile(in, read.records, &error, 100, &checksum), 3) << error;
        EXPECT_EQ(checksum.name, recorded.name);
        EXPECT_TRUE(checksum.sameFile(recorded));
        EXPECT_EQ(read.records[0].camera.lens.k1, records == bent ? -0.06f : 0.0f);

        // The first readers: a name is a word, then numbers until one fails.
        std::istringstream old(records + section);
        int taken = 0;
        std::string name;
        for (float number = 0.0f; old >> name;) {
            int width = 0, height = 0;
            if (!(old >> width >> height)) break;
            for (int k = 0; k < 19; ++k) old >> number;
            ++taken;
        }
        EXPECT_EQ(taken, 3);
        EXPECT_EQ(name, records == bent ? "[lens" : "[panorama");
    }
    const struct {
        const char* what;
        std::string tail;
    } broken[] = {
        {"cut after the marker", "[panorama bytes crc32]\n"},
        {"no checksum", "[panorama bytes crc32]\npano.jpg\n4817722\n"},
        {"a short checksum", "[panorama bytes crc32]\npano.jpg\n4817722 9f3a0c1\n"},
        {"not hexadecimal", "[panorama bytes crc32]\npano.jpg\n4817722 9f3a0c1g\n"},
        {"a negative size", "[panorama bytes crc32]\npano.jpg\n-5 9f3a0c11\n"},
        {"another folder", "[panorama bytes crc32]\n../pano.jpg\n5 9f3a0c11\n"},
        {"text after it", section + "more\n"},
        {"twice", section + section},
        {"before the lens section", section + "[lens distortion k1 k2]\nlens 0 0\nlens 0 0\nlens 0 0\n"},
    };
    for (const auto& b : broken) {
        std::istringstream in(straight + b.tail);
        Saved refused;
        PanoramaChecksum checksum;
        std::string error;
        EXPECT_EQ(readParameterFile(in, refused.records, &error, 100, &checksum), -1) << b.what;
        EXPECT_TRUE(refused.records.empty() && !checksum.known()) << b.what;
        EXPECT_FALSE(error.empty()) << b.what;
    }
}

// A line longer than any path refuses the file as soon as it is read, naming the line and
// showing only its start; a name as long as a path may be still reads.
TEST(ParameterFile, ALineLongerThanAnyPathIsRefusedAtOnce) {
    const std::string records = written(sampleRecords());
    const std::string longest(ParameterLines::kMaxLineBytes, 'n');
    struct Case {
        const char* what;
        std::string text;
        int records;
        const char* error;  // how the message starts, when refused
    };
    const Case cases[] = {
        {"a name as long as a path", longest + "\r\n1 1\n1 0 0 0 1 0 0 0 1 0 0 0 0 0 0 0 0 0 0\n", 1, ""},
        {"zero bytes, no line end", std::string(1 << 20, '\0'), -1, "line 1 is longer than any path"},
        {"a long name after the records", records + longest + "n\n", -1, "line 33 is longer than any path"},
        {"a long number", "a.jpg\n" + std::string(5000, '5') + "\n", -1, "line 2 is longer than any path"},
    };
    for (const Case& test : cases) {
        std::istringstream in(test.text);
        Saved read;
        std::string error;
        EXPECT_EQ(readParameterFile(in, read.records, &error), test.records) << test.what << ": " << error;
        EXPECT_EQ(error.rfind(test.error, 0), 0u) << test.what << ": " << error;
        EXPECT_LT(error.size(), 200u) << test.what;
    }
}

TEST(ParameterFile, NamesThatCannotBeRecordedAreTold) {
    struct Case {
        std::string name;
        bool recordable;
    };
    const Case cases[] = {
        {"/photos/a.jpg", true},          {" lead.jpg", true},          {"trail.jpg ", true},
        {"new\nline.jpg", false},         {"ends.jpg\r", false},        {"", false},
        {"   ", false},                   {std::string(5000, 'x'), false},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(unrecordableName(test.name).empty(), test.recordable) << test.name;
        if (!test.recordable) continue;
        Saved s = sampleRecords();
        s.records[0].name = test.name;
        Saved back;
        ASSERT_EQ(readText(written(s), back), 3);
        EXPECT_EQ(back.records[0].name, test.name);
    }
}

}  // namespace
}  // namespace vantorra
