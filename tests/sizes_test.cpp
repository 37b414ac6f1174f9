// Small files, short functions: no source file of the program is longer than 400 lines and no
// function longer than 60, so that each file is about one idea and each function reads at once.
// Tests, benchmarks and examples are not held to it.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kMaxFileLines = 400;
constexpr int kMaxFunctionLines = 60;

const char* const kFolders[] = {"numerics", "core", "options", "io", "features", "matching",
                                "adjust",   "render", "pipeline", "cli", "app"};

// The text with comments, string and character literals emptied, line breaks kept.
std::string withoutLiterals(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
            if (i < text.size()) out += '\n';
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            for (i += 2; i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/'); ++i)
                if (text[i] == '\n') out += '\n';
            ++i;
        } else if (c == '"' || c == '\'') {
            out += c;
            for (++i; i < text.size() && text[i] != c; ++i)
                if (text[i] == '\\') ++i;
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

bool endsWithWord(const std::string& text, const std::string& word) {
    if (text.size() < word.size() || text.compare(text.size() - word.size(), word.size(), word) != 0) return false;
    const size_t at = text.size() - word.size();
    return at == 0 || !(std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_');
}

// Whether the brace that follows `before` (the text before it) opens a function's body: after a
// parameter list, its qualifiers or a trailing return type, and not after a condition or a
// loop's head.
bool opensFunction(const std::string& before) {
    const size_t end = before.find_last_not_of(" \t\n");
    if (end == std::string::npos) return false;
    const std::string head = before.substr(0, end + 1);
    const std::string lastLine = head.substr(head.rfind('\n') == std::string::npos ? 0 : head.rfind('\n') + 1);
    const size_t arrow = lastLine.rfind("->");
    const bool trailingReturn =
        arrow != std::string::npos && lastLine.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_:<> ",
                                          arrow + 2) == std::string::npos;
    const bool body = head.back() == ')' || endsWithWord(head, "const") || endsWithWord(head, "override") ||
                      endsWithWord(head, "noexcept") || endsWithWord(head, "final") || trailingReturn;
    static const std::regex control(R"(\b(if|for|while|switch|catch)\s*\(.*\)$)");
    return body && !std::regex_search(lastLine, control);
}

struct Long {
    int line;   // where the body opens
    int lines;  // from the opening brace's line to the closing one's
};

// Outermost function bodies longer than `limit` lines (a lambda counts with its function).
std::vector<Long> longFunctions(const std::string& source, int limit) {
    const std::string text = withoutLiterals(source);
    struct Open {
        bool function;
        int line;
    };
    std::vector<Open> open;
    std::vector<Long> found;
    int line = 1, functionsOpen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') ++line;
        if (text[i] == '{') {
            const bool function = functionsOpen == 0 && opensFunction(text.substr(i > 300 ? i - 300 : 0, i > 300 ? 300 : i));
            open.push_back({function, line});
            functionsOpen += function;
        } else if (text[i] == '}' && !open.empty()) {
            const Open closing = open.back();
            open.pop_back();
            if (!closing.function) continue;
            --functionsOpen;
            if (line - closing.line + 1 > limit) found.push_back({closing.line, line - closing.line + 1});
        }
    }
    return found;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int lineCount(const std::string& text) {
    int lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines + (!text.empty() && text.back() != '\n');
}

TEST(Sizes, NoFileOrFunctionOfTheProgramOutgrowsItsLimit) {
    const fs::path top(VANTORRA_SOURCE_DIR);
    int files = 0;
    for (const char* folder : kFolders) {
        ASSERT_TRUE(fs::is_directory(top / folder)) << folder;
        for (const auto& entry : fs::recursive_directory_iterator(top / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp") continue;
            ++files;
            const std::string name = fs::relative(entry.path(), top).generic_string();
            const std::string text = readAll(entry.path());
            EXPECT_LE(lineCount(text), kMaxFileLines) << name;
            for (const Long& function : longFunctions(text, kMaxFunctionLines))
                ADD_FAILURE() << name << ":" << function.line << ": a function of " << function.lines << " lines";
        }
    }
    EXPECT_GT(files, 100);
}

// The scanner itself, on made-up sources: what it must count and what it must not.
TEST(Sizes, TheScannerFindsLongBodiesAndOnlyThem) {
    const auto body = [](int lines, const std::string& inside) {
        std::string text;
        for (int i = 0; i < lines; ++i) text += inside + "\n";
        return text;
    };
    struct Case {
        std::string source;
        std::vector<int> expected;  // lines of the bodies found over 5 lines
    };
    const Case cases[] = {
        {"int f(int a) {\n" + body(3, "  a++;") + "}\n", {}},
        {"int f(int a) {\n" + body(6, "  a++;") + "}\n", {1}},
        {"struct S {\n  void g() const {\n" + body(6, "    x++;") + "  }\n};\n", {2}},
        {"namespace n {\nclass C {\n" + body(9, "  int a;") + "};\n}\n", {}},
        // A long if inside a short-enough function is the function's, counted once.
        {"void f() {\n  if (x) {\n" + body(6, "    y();") + "  }\n}\n", {1}},
        // Braces inside comments and strings do not count.
        {"void f() {\n  // {\n  s = \"{{{\";\n  c = '{';\n}\n" + body(7, "int z;"), {}},
        {"auto f() -> int {\n" + body(6, "") + "}\nvoid g() noexcept {\n" + body(6, "  h([] { return 1; });") + "}\n",
         {1, 9}},
    };
    for (const Case& test : cases) {
        std::vector<int> found;
        for (const Long& function : longFunctions(test.source, 5)) found.push_back(function.line);
        EXPECT_EQ(found, test.expected) << test.source;
    }
}

}  // namespace
