#pragma once

// Writes a float the way a default-formatted C++ stream does ("%g" with six
// significant digits, C locale), fast enough for clouds of millions of points.
class StreamFloatFormat
{
public:
    // Longest output is "-1.17549e-38" (12 characters); write() may store
    // scratch bytes up to this far behind out, so out needs this much room.
    static constexpr int maxLength = 16;

    // Writes value at out (no terminator) and returns the end.
    static char* write(char* out, float value);

private:
    static char* writeSlow(char* out, double value);
};
