#include "platform/picture/picture_job.h"

#include "platform/picture/decoder_pipe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace lv {

namespace {

constexpr int code_memory = -3, code_unreadable = -6, code_too_large = -7;

// The argument that makes lumivane act as its own decoder program, the
// path its decoding copy is started from, and whether this program can.
constexpr const char* self_marker = "--lumivane-decoder";
const QString self_program = QStringLiteral("/proc/self/exe");
bool self_decodes = false;

bool limit_code(int code) { return code == code_memory || code == code_too_large; }

using decoder_pipe::result_header;

// A decode on a worker thread of this process.
struct worker_result {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    decoded_picture result;
};

// In this process GraphicsMagick's limits are process-wide: one picture at
// a time keeps every decode within them.
std::mutex& in_process_turn() {
    static std::mutex turn;
    return turn;
}

}  // namespace

struct picture_job::impl {
    QString path;
    QSize box;
    QRect region;
    own_size_place place;
    picture_limits limits;
    QString program;   // empty: decoded in this process
    enum { queued, running, finished } state = queued;
    pid_t pid = -1;
    int fd = -1;
    int messages_fd = -1;   // the decoder's stderr
    result_header header;
    QImage image, detail;      // what the decoder sends, as it comes
    qsizetype got = 0;         // bytes read so far
    qsizetype expected = -1;   // known once the header came
    QElapsedTimer clock;
    std::shared_ptr<worker_result> worker;
    decoded_picture result;
    bool over_limits = false;
    // Where the window's event loop runs, it reads the decoder as its bytes
    // come and stops it at its time, whether anyone waits or not.
    std::unique_ptr<QSocketNotifier, void (*)(QObject*)> readable{nullptr, [](QObject* o) { o->deleteLater(); }};
    std::unique_ptr<QTimer, void (*)(QObject*)> deadline{nullptr, [](QObject* o) { o->deleteLater(); }};
    std::function<void()> on_finished;
};

namespace {

using job_impl = picture_job::impl;

// The decoder program's jobs, queued or running, in the order they came.
// They are driven from the thread that made them (the window's).
std::vector<job_impl*>& child_jobs() {
    static std::vector<job_impl*> jobs;
    return jobs;
}

void start_worker(job_impl& j) {
    j.program.clear();
    j.state = job_impl::running;
    j.worker = std::make_shared<worker_result>();
    QThreadPool::globalInstance()->start([w = j.worker, path = j.path, box = j.box, region = j.region,
                                          place = j.place] {
        decoded_picture d;
        {
            const std::lock_guard<std::mutex> turn(in_process_turn());
            d = decode_picture(path, box, region, place);
            // A picture reduced after it was decoded whole still holds the
            // whole one's memory.
            if (d.image.size() != d.natural_size) d.image = d.image.copy();
        }
        const std::lock_guard<std::mutex> hold(w->lock);
        w->result = std::move(d);
        w->done = true;
        w->finished.notify_all();
    });
}

void on_readable(job_impl* j);
void on_deadline(job_impl* j);

bool spawn_decoder(job_impl& j) {
    int fds[2], messages[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    // The decoder's stderr: what a hostile picture makes its readers say can
    // run to megabytes. The decoder never waits on it; what does not fit in
    // the pipe is lost, and the player passes on the first lines (pass_on_messages).
    if (::pipe2(messages, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    std::vector<std::string> args =
        decoder_pipe::request_arguments({::getpid(), j.box, j.limits, j.path, j.region, j.place});
    if (j.program == self_program) args.insert(args.begin(), self_marker);
    args.insert(args.begin(), QFile::encodeName(j.program).toStdString());
    // One thread and one malloc arena: threads would each take stacks and
    // arenas out of the data limit.
    std::vector<std::string> env = {"OMP_NUM_THREADS=1", "MALLOC_ARENA_MAX=1"};
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "OMP_NUM_THREADS=", 16) != 0 && std::strncmp(*e, "MALLOC_ARENA_MAX=", 17) != 0)
            env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, messages[1], 2);
    // The player blocks or handles signals that the decoder's own time
    // limits rely on: the decoder starts with them all at their defaults.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGALRM, SIGXCPU, SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    ::close(messages[1]);
    if (rc != 0) {
        ::close(fds[0]);
        ::close(messages[0]);
        return false;
    }
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    j.pid = pid;
    j.fd = fds[0];
    j.messages_fd = messages[0];
    j.state = job_impl::running;
    j.clock.start();
    // Driven by the event loop of the thread that made the job, when it has one.
    if (QCoreApplication::instance() && QThread::currentThread()->eventDispatcher()) {
        job_impl* self = &j;
        j.readable.reset(new QSocketNotifier(qintptr(j.fd), QSocketNotifier::Read));
        QObject::connect(j.readable.get(), &QSocketNotifier::activated, j.readable.get(),
                         [self] { on_readable(self); });
        j.deadline.reset(new QTimer);
        j.deadline->setSingleShot(true);
        QObject::connect(j.deadline.get(), &QTimer::timeout, j.deadline.get(), [self] { on_deadline(self); });
        // A little past the decoder's own limits, in case it cannot end itself.
        j.deadline->start(j.limits.max_decode_ms + 1000);
    }
    return true;
}

enum class reading { more, ended, bad };

// Reads what the decoder wrote so far, the pixels straight into the picture.
// Bad: a header no decoder writes, a picture larger than the player keeps,
// or more bytes than the picture takes.
reading read_available(job_impl& j) {
    constexpr qsizetype header_size = sizeof(result_header);
    for (;;) {
        char spare;
        char* into = &spare;
        qsizetype room = 1;   // past the end: only the end of the pipe may come
        if (j.got < header_size) {
            into = reinterpret_cast<char*>(&j.header) + j.got;
            room = header_size - j.got;
        } else if (j.got < j.expected) {
            const qsizetype at = j.got - header_size, image_bytes = j.image.sizeInBytes();
            if (at < image_bytes) {
                into = reinterpret_cast<char*>(j.image.bits()) + at;
                room = image_bytes - at;
            } else {
                into = reinterpret_cast<char*>(j.detail.bits()) + (at - image_bytes);
                room = j.expected - j.got;
            }
        }
        const ssize_t n = ::read(j.fd, into, std::size_t(room));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? reading::more : reading::ended;
        if (n == 0) return reading::ended;
        if (into == &spare) return reading::bad;
        const bool header_done = j.got < header_size && j.got + n == header_size;
        j.got += n;
        if (!header_done) continue;
        const result_header& h = j.header;
        const std::int64_t pixels = std::int64_t(h.width) * h.height;
        const std::int64_t detail_pixels = std::int64_t(h.detail_width) * h.detail_height;
        const QRect detail(h.detail_x, h.detail_y, h.detail_width, h.detail_height);
        const bool sane = h.magic == decoder_pipe::result_magic && h.width >= 0 && h.height >= 0 &&
                          h.width <= j.limits.max_side && h.height <= j.limits.max_side &&
                          pixels <= j.limits.max_kept_pixels && h.detail_width >= 0 && h.detail_height >= 0 &&
                          detail_pixels <= j.limits.max_kept_pixels &&
                          (detail_pixels == 0 ||
                           QRect(0, 0, h.natural_width, h.natural_height).contains(detail));
        if (!sane) return reading::bad;
        j.expected = header_size;
        if (h.code >= 0) {
            const QImage::Format format = h.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
            j.image = QImage(h.width, h.height, format);
            if (j.image.isNull() || j.image.sizeInBytes() != pixels * 4) return reading::bad;
            j.expected += j.image.sizeInBytes();
            if (detail_pixels > 0) {
                j.detail = QImage(h.detail_width, h.detail_height, format);
                if (j.detail.isNull() || j.detail.sizeInBytes() != detail_pixels * 4) return reading::bad;
                j.expected += j.detail.sizeInBytes();
            }
        }
    }
}

// Why a decoding process is reaped: it ended by itself, or is killed for
// sending what no decoder sends, because nobody wants its picture any more,
// or because it ran past its time.
enum class reaped { ended, bad, stopped, out_of_time };

decoded_picture result_of(job_impl& j, int status, reaped why) {
    if (why == reaped::out_of_time) j.over_limits = true;
    if (why != reaped::ended) return decode_failure(code_unreadable);
    if (j.expected >= 0 && j.got == j.expected) {
        j.over_limits = limit_code(j.header.code);
        if (j.header.code < 0) return decode_failure(j.header.code);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            const result_header& h = j.header;
            const QRect detail =
                j.detail.isNull() ? QRect() : QRect(h.detail_x, h.detail_y, h.detail_width, h.detail_height);
            return {0, std::move(j.image), QSize(h.natural_width, h.natural_height), std::move(j.detail), detail};
        }
    }
    // Aborted: what a decoder does when an allocation past its memory limit
    // fails where nothing can report it. Killed by its own time limits (or
    // by the system for its memory), or crashed on a damaged file: unreadable.
    // GraphicsMagick catches the time limits' signals and exits with their
    // number instead.
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    const int exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    j.over_limits = signal == SIGABRT || signal == SIGKILL || signal == SIGXCPU || signal == SIGALRM ||
                    exit_code == SIGXCPU || exit_code == SIGALRM;
    if (signal == SIGABRT) return decode_failure(code_memory);
    return decode_failure(code_unreadable);
}

// Passes the first lines the decoder wrote to stderr on to the player's own.
void pass_on_messages(job_impl& j) {
    constexpr int kept_lines = 10;
    char text[8192];
    ssize_t got = 0, n = 0;
    while (got < ssize_t(sizeof text) &&
           ((n = ::read(j.messages_fd, text + got, sizeof text - std::size_t(got))) > 0 || (n < 0 && errno == EINTR)))
        got += std::max<ssize_t>(n, 0);
    ::close(j.messages_fd);
    j.messages_fd = -1;
    ssize_t end = 0;
    for (int lines = 0; end < got && lines < kept_lines; ++end)
        if (text[end] == '\n') ++lines;
    std::string out(text, std::size_t(end));
    if (!out.empty() && out.back() != '\n') out += '\n';
    if (end < got || got == ssize_t(sizeof text)) out += "(lumivane-decoder: more messages left out)\n";
    decoder_pipe::write_all(2, out.data(), out.size());
}

void reap(job_impl& j, reaped why) {
    if (j.readable) j.readable->setEnabled(false);
    j.readable.reset();
    if (j.deadline) j.deadline->stop();
    j.deadline.reset();
    if (why != reaped::ended) ::kill(j.pid, SIGKILL);
    ::close(j.fd);
    j.fd = -1;
    int status = 0;
    while (::waitpid(j.pid, &status, 0) < 0 && errno == EINTR) {
    }
    pass_on_messages(j);
    j.pid = -1;
    j.result = result_of(j, status, why);
    j.image = j.detail = QImage();
    j.state = job_impl::finished;
}

void forget(job_impl* j) {
    auto& jobs = child_jobs();
    jobs.erase(std::remove(jobs.begin(), jobs.end(), j), jobs.end());
}

void pump(int timeout_ms);

// A job that ended tells whoever waits for it, and the next one in the
// queue starts.
void finished(job_impl* j) {
    pump(0);
    if (j->on_finished) {
        const std::function<void()> tell = j->on_finished;   // the call may end the job
        tell();
    }
}

void on_readable(job_impl* j) {
    if (j->state != job_impl::running) return;
    const reading r = read_available(*j);
    if (r == reading::more) return;
    reap(*j, r == reading::bad ? reaped::bad : reaped::ended);
    forget(j);
    finished(j);
}

void on_deadline(job_impl* j) {
    if (j->state != job_impl::running) return;
    reap(*j, reaped::out_of_time);
    forget(j);
    finished(j);
}

// Drives the decoder program's jobs for at most timeout_ms: starts the next
// queued one when none runs, reads the running one, stops it at its time limit.
void pump(int timeout_ms) {
    auto& jobs = child_jobs();
    job_impl* running = nullptr;
    for (job_impl* j : jobs)
        if (j->state == job_impl::running) running = j;
    while (!running && !jobs.empty()) {
        job_impl* next = jobs.front();
        if (spawn_decoder(*next)) {
            running = next;
        } else if (self_decodes && next->program != self_program) {
            next->program = self_program;   // the decoder program would not start: this one instead
        } else if (self_decodes) {
            // No process can start now. Decoding here could hold the window
            // and the end of the show: the picture fails instead.
            forget(next);
            next->result = decode_failure(code_unreadable);
            next->state = job_impl::finished;
        } else {
            forget(next);
            start_worker(*next);
        }
    }
    if (!running) return;
    // A little past the decoder's own limits, in case it cannot end itself.
    const qint64 left = running->limits.max_decode_ms + 1000 - running->clock.elapsed();
    bool over = left <= 0;
    if (!over) {
        pollfd p{running->fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(std::min<qint64>(std::max(timeout_ms, 0), left)));
        const reading r = ready > 0 ? read_available(*running) : reading::more;
        if (r != reading::more) {
            reap(*running, r == reading::bad ? reaped::bad : reaped::ended);
            forget(running);
            finished(running);
            return;
        }
        over = running->clock.elapsed() > running->limits.max_decode_ms + 1000;
    }
    if (over) {
        reap(*running, reaped::out_of_time);
        forget(running);
        finished(running);
    }
}

}  // namespace

picture_job::picture_job(std::unique_ptr<impl> d) : d_(std::move(d)) {}

picture_job::~picture_job() { stop(); }

std::shared_ptr<picture_job> picture_job::start(const QString& path, QSize fit_box, QRect region,
                                                const own_size_place& place) {
    auto d = std::make_unique<impl>();
    d->path = path;
    d->box = fit_box;
    d->region = region;
    d->place = place;
    d->limits = picture_decode_limits();
    d->program = decoder_program();
    auto job = std::make_shared<picture_job>(std::move(d));
    if (job->d_->program.isEmpty()) {
        start_worker(*job->d_);
    } else {
        child_jobs().push_back(job->d_.get());
        pump(0);
    }
    return job;
}

const QString& picture_job::path() const { return d_->path; }
QSize picture_job::fit_box() const { return d_->box; }
const own_size_place& picture_job::place() const { return d_->place; }
bool picture_job::in_child() const { return !d_->program.isEmpty(); }

bool picture_job::wait(int ms) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (d_->state == impl::finished) return true;
        const int left = ms < 0 ? 1000 : int(ms - t.elapsed());
        if (d_->worker) {
            std::unique_lock<std::mutex> hold(d_->worker->lock);
            if (d_->worker->finished.wait_for(hold, std::chrono::milliseconds(std::max(left, 0)),
                                              [this] { return d_->worker->done; })) {
                d_->result = std::move(d_->worker->result);
                d_->over_limits = limit_code(d_->result.code);
                d_->state = impl::finished;
                return true;
            }
        } else {
            pump(std::max(left, 0));
        }
        if (d_->state == impl::finished) return true;
        if (ms >= 0 && t.elapsed() >= ms) return false;
    }
}

void picture_job::on_finished(std::function<void()> call) { d_->on_finished = std::move(call); }

decoded_picture picture_job::take() { return std::move(d_->result); }

bool picture_job::over_limits() const { return d_->state == impl::finished && d_->over_limits; }

void picture_job::stop() {
    if (d_->worker || d_->state == impl::finished) return;
    const bool was_running = d_->state == impl::running;
    if (was_running) {
        reap(*d_, reaped::stopped);
    } else {
        d_->result = decode_failure(code_unreadable);
        d_->state = impl::finished;
    }
    forget(d_.get());
    // The next job in the queue starts as after a job that ended, from the
    // event loop: not from inside whatever is stopping this one.
    if (was_running && QCoreApplication::instance())
        QTimer::singleShot(0, QCoreApplication::instance(), [] { pump(0); });
}

QString decoder_program() {
    const QByteArray env = qgetenv("LUMIVANE_DECODER");
    QString program = QFile::decodeName(env);
    if (env.isEmpty() && QCoreApplication::instance())
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/lumivane-decoder");
    if (!program.isEmpty() && QFileInfo(program).isExecutable()) return program;
    return self_decodes ? self_program : QString();
}

std::optional<int> decoder_call(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], self_marker) != 0) {
        self_decodes = true;
        return std::nullopt;
    }
    // Named as the decoder program is, not after the link it was started by.
    ::prctl(PR_SET_NAME, "lumivane-decoder");
    argv[1] = argv[0];
    return run_decoder(argc - 1, argv + 1);
}

}  // namespace lv
