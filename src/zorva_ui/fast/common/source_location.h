// Where a declaration stands in the source, for the traceback entries of its callable.
//
// std::source_location would do, but clang 14 (Debian 12's) cannot compile libstdc++'s header;
// the builtins below, evaluated where the default argument is used, give the same answer with
// every supported compiler.
#pragma once

namespace zorva {

struct SourceLocation {
    const char* file = "";
    unsigned line_number = 0;

    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            unsigned line = __builtin_LINE()) {
        return SourceLocation{file, line};
    }
    constexpr const char* file_name() const { return file; }
    constexpr unsigned line() const { return line_number; }
};

}  // namespace zorva
