// A Recognizer on a test-owned working image whose pixel classes are set
// directly, for the walk, paint and sampling tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "detect/recognizer.h"
#include "platform/platform.h"
#include "frame/packed_frame.h"

struct WalkCanvas {
    std::vector<uint8_t> bytes;
    std::unique_ptr<Recognizer> r = std::make_unique<Recognizer>();

    WalkCanvas(int width, int height) { resize(width, height); }

    // A new all-white image of exactly its size for the same detector.
    void resize(int width, int height)
    {
        r->width = width;
        r->height = height;
        r->stride = static_cast<int>(frameStride(width));
        bytes = std::vector<uint8_t>(static_cast<size_t>(r->stride) * static_cast<size_t>(height), 255);
        r->pixels = bytes.data();
        r->ownsPixels = 0;
    }

    uint8_t* at(int x, int y)
    {
        return &bytes[static_cast<size_t>(y) * static_cast<size_t>(r->stride) + 3u * static_cast<size_t>(x)];
    }
    void set(int x, int y, uint8_t blue, uint8_t green, uint8_t red)
    {
        uint8_t* p = at(x, y);
        p[0] = blue;
        p[1] = green;
        p[2] = red;
    }
    void light(int x, int y) { set(x, y, 255, 255, 255); }
    void dark(int x, int y) { set(x, y, 0, 0, 0); }
    void red(int x, int y) { set(x, y, 0, 0, 255); }
    bool isRed(int x, int y) { return at(x, y)[0] == 0 && at(x, y)[1] == 0 && at(x, y)[2] == 255; }
    void fill(uint8_t blue, uint8_t green, uint8_t red)
    {
        for (int y = 0; y < r->height; ++y)
            for (int x = 0; x < r->width; ++x)
                set(x, y, blue, green, red);
    }
    void extreme(int i, int x, int y)
    {
        r->extremeX[i] = x;
        r->extremeY[i] = y;
    }
};

// Collects the stage trace while alive.
struct TraceCapture {
    std::vector<std::string> messages;
    TraceCapture() { setDebugSink(&TraceCapture::receive, this); }
    ~TraceCapture() { setDebugSink(nullptr, nullptr); }
    static void receive(const char* text, void* self)
    {
        static_cast<TraceCapture*>(self)->messages.push_back(text);
    }
    bool has(const std::string& message) const
    {
        for (const std::string& m : messages)
            if (m == message)
                return true;
        return false;
    }
};

// Runs with a fresh, empty current directory, so that "r.log" can be read
// back; the texts of its lines come without their time stamps.
struct LogDirectory {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path dir;
    explicit LogDirectory(const std::string& name)
    {
        dir = std::filesystem::temp_directory_path() / ("tessaread_" + name);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
    }
    ~LogDirectory()
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }
    // A stamp is "y.m.d h:m:s:ms ": the text starts after its second blank.
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        std::ifstream in(dir / "r.log");
        for (std::string line; std::getline(in, line);) {
            size_t first = line.find(' ');
            size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
            out.push_back(second == std::string::npos ? line : line.substr(second + 1));
        }
        return out;
    }
};
