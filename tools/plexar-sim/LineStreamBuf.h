#pragma once
// A stream buffer that hands on whole lines: what each thread writes is gathered on its own and
// passed to the sink one line at a time (without its '\n'), so lines that several threads write
// at once never tear. plexar-sim puts one under std::cout and std::cerr, which the WebSocket
// library of a plug-in writes its log to, and one under the commands' own reports.
//
//   LineStreamBuf buffer([&](const std::string& line) { printer.PrintLine(line); });
//   std::ostream out(&buffer);
//
// Threads: any thread may write; a mutex guards the pending text and serialises the sink, which
// therefore sees lines one at a time and must not write to this buffer itself.
#include <functional>
#include <map>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>

namespace plexarsim {

class LineStreamBuf : public std::streambuf {
public:
    using Sink = std::function<void(const std::string& line)>;

    explicit LineStreamBuf(Sink sink);
    // Hands on what is left of unfinished lines.
    ~LineStreamBuf() override;
    LineStreamBuf(const LineStreamBuf&) = delete;
    LineStreamBuf& operator=(const LineStreamBuf&) = delete;

protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
    void Append(const char* text, std::size_t count);

    const Sink sink_;
    std::mutex mutex_;
    std::map<std::thread::id, std::string> pending_;
};

// Puts a buffer under a standard stream for the object's lifetime.
class StreamRedirect {
public:
    StreamRedirect(std::ostream& stream, std::streambuf& buffer);
    ~StreamRedirect();
    StreamRedirect(const StreamRedirect&) = delete;
    StreamRedirect& operator=(const StreamRedirect&) = delete;

private:
    std::ostream& stream_;
    std::streambuf* previous_;
};

}  // namespace plexarsim
