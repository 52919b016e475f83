// The window tests' harness: the real program in a real X server (the test
// command runs each case under xvfb-run, with Mesa's software GL), its
// standard streams, its exit status and its records. xdotool finds, moves,
// resizes, hides, destroys and keys the window.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// The program as built here, or the command in QUENDRIX_PROGRAM: a Windows
// build under Wine, whose lines end with CR LF, read here as LF. Tests about
// X11 itself have X11 in their names; under Wine the others run.
extern const std::string PROGRAM;
extern const bool WINDOWS;

// A shell command line, its standard output; each word the tests put into
// one goes through quote (a ' inside becomes '\'').
std::string shell(const std::string& command);
std::string quote(const std::string& word);
// The words of a text, split at spaces.
std::vector<std::string> words(const std::string& text);
std::string xdotool(const std::string& args);
void pause(double seconds);
std::string slurp(const std::string& path);

// Polls until done() holds, for at most the given seconds; false if it never
// did. The program goes at the pace the machine's load allows: tests wait for
// what it does, never for a time.
bool waitFor(const std::function<bool()>& done, double seconds = 60);

// Where the program's standard error goes: a file the test reads, or one of
// the states a user can leave it in, in which the program must go on.
enum class ErrorTo { File, Closed, ReaderGone, FullPipe, HeldTerminal };

// The program run as a shell command line, with these arguments and
// changes to the tests' environment (env, split at spaces: a name alone is
// removed, a LD_PRELOAD joins the build's); more arguments may follow.
std::string runCommand(const std::string& env = "", std::vector<std::string> args = {});
#define BROKEN_GL(faults) "BROKEN_GL=" faults " LD_PRELOAD=" QUENDRIX_BROKEN_GL  // tests/broken_gl.cpp

// A shell command run in an X server of its own (Xvfb with serverArgs, on
// the display number it picks itself), its output and status its own.
std::string inServer(const std::string& serverArgs, const std::string& command);

// Starts openbox, a window manager that frames windows, in *wm; true once it
// manages windows (it runs its --startup command then: a window mapped
// before may be lost).
bool startWindowManager(struct Program* wm);

// The tests' own connection to the X server.
typedef struct _XDisplay Display;
Display* testDisplay();

// Gives a key of the keyboard another symbol, as a keyboard layout does.
void mapKey(int keycode, const char* keysym);

// One run of the real program, its output streams in files.
struct Program {
    pid_t pid = -1;
    std::string window, errPath, outPath;
    Program() = default;
    explicit Program(const std::vector<std::string>& args, ErrorTo to = ErrorTo::File, const std::string& env = "");
    ~Program();
    // Any program (argv[0] found on PATH), started with no shell between;
    // env as runCommand's, one change a word.
    void start(const std::vector<std::string>& argv, ErrorTo to, const std::vector<std::string>& env = {});

    // The status from waitpid, or -1 while it has not ended within the time.
    int status(double seconds);
    double cpuSeconds() const;
    // Waits for the window titled exactly "Quendrix" to be shown.
    bool shown();
    // Shown, and at the screen's corner, where all its pixels can be read.
    bool findWindow();
    // An xdotool command line, %w standing for the window.
    std::string act(std::string command);
};

// A run's standard output, then its exit status on a line of its own, as
// `; echo $?` gives it; standard error put aside.
std::string outputAndStatus(const std::vector<std::string>& args, const std::string& env = "");

// The frames of the records after the extension line (and as many more
// lines), each "\r<frames> frames in <s>s (<rate>fps)" and well formed; *rest
// is what follows them.
std::vector<long> records(const Program& p, std::string* rest, int lines = 1, long* lastSeconds = nullptr);

// When the program ends after a record, a line feed ends the record's line.
std::string lineEnd(const std::vector<long>& frames);

// The result line of a run of frames on standard output, its rate exactly
// the frames over the seconds printed; what came before it there is *before.
void expectResult(const Program& p, long frames, std::string* before);

// Debian's Python, with Debian's jsonschema: every results document the
// tests read is valid against the published schema. validDocument says
// "valid" and the members named (Python after a comma, the document d), or
// why not.
extern const std::string PYTHON;
#define VALIDATE "import jsonschema; jsonschema.validate(d, json.load(open('" QUENDRIX_SCHEMA "')))"
std::string validDocument(const std::string& path, const std::string& members = "");
