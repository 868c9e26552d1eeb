// A stand-in for avrdude in the tests. The window starts it with avrdude's
// arguments; what it does is set through the environment, which the window
// passes on:
//   FAKEAVRDUDE_OUTPUT     text written to standard error, where avrdude
//                          writes everything ("\n" stands for a line end)
//   FAKEAVRDUDE_EXIT       the exit code (0 if unset)
//   FAKEAVRDUDE_HANG       if set, keep running after the output until killed
//   FAKEAVRDUDE_ARGS_FILE  if set, write the arguments there, one per line

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char **argv)
{
    if (const char *path = std::getenv("FAKEAVRDUDE_ARGS_FILE")) {
        if (FILE *file = std::fopen(path, "wb")) {
            for (int i = 1; i < argc; ++i)
                std::fprintf(file, "%s\n", argv[i]);
            std::fclose(file);
        }
    }
    if (const char *output = std::getenv("FAKEAVRDUDE_OUTPUT")) {
        std::string text = output;
        for (std::size_t at = 0; (at = text.find("\\n", at)) != std::string::npos;)
            text.replace(at, 2, "\n");
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
    if (std::getenv("FAKEAVRDUDE_HANG")) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    const char *code = std::getenv("FAKEAVRDUDE_EXIT");
    return code ? std::atoi(code) : 0;
}
