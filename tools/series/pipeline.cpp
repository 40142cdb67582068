// The pipeline: the further photographs' steps spread over the cores.
#include "tools/series/series.h"

#include "tools/series/platform.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace series {

namespace {

// A progress bar, at a console only; called under the lock.
void progress(char const* what, std::size_t done, std::size_t all)
{
    if (what == nullptr || !outputIsConsole())
        return;
    std::size_t const width = 30;
    std::size_t const filled = all == 0 ? width : width * done / all;
    std::printf("\r%s [%s%s] %zu/%zu", what, std::string(filled, '#').c_str(),
                std::string(width - filled, ' ').c_str(), done, all);
    if (done == all)
        std::printf("\n");
    std::fflush(stdout);
}

bool writes(Step k)
{
    return k == Step::rectify || k == Step::compare;
}

// A free worker takes the next step of photographs no one holds: the most advanced
// first, but not a second step that writes large files (tavrin's or tavrin-diff's)
// beside one that runs, and tavrin on one photograph alone while another will soon join
// it, as long as a step that mostly computes is there to take. So the disk's work
// overlaps the computing instead of two writers waiting on the disk together, tavrin
// reads and writes the base for a few photographs at once, and each photograph is done,
// its memory given back, early. tavrin's step takes its share of the photographs
// waiting for it, so that every worker has some; the others, one. A worker has its
// photographs to itself and hands them back under the lock, where the record is written
// anew. A failure that ends the run stops the workers once their steps end. The task
// alongside, when there is one, is the first worker's first. A photograph given to a
// tavrin-match that runs on waits for it to tell its points.
class Pipeline {
public:
    Pipeline(Series& s, Step from, Step to, char const* what, StepWork const& step,
             std::function<void()> alongside)
        : s(s), to(to), what(what), step(step), count(s.photos.size() - 1), next(count, from),
          held(count, false), alongside(std::move(alongside))
    {
    }

    // One worker's part, until no step is left or a failure stops the run.
    void work()
    {
        std::unique_lock<std::mutex> hold(s.lock);
        if (alongside)
            runAlongside(hold);
        for (;;) {
            std::size_t const first = failure ? count : choose();
            if (first == count) {
                if ((busy == 0 && !s.finding.running) || failure)
                    return;
                s.changed.wait(hold);
                continue;
            }
            Step const doing = next[first];
            std::vector<std::size_t> const mine = take(first);
            std::vector<Photo> group;
            group.reserve(mine.size());
            for (std::size_t k : mine)
                group.push_back(s.photos[k + 1]);
            hold.unlock();
            std::exception_ptr failed;
            try {
                step(group, doing);
            } catch (...) {
                failed = std::current_exception();
            }
            hold.lock();
            handBack(mine, group, doing, failed);
        }
    }

    std::exception_ptr failure;

private:
    void runAlongside(std::unique_lock<std::mutex>& hold)
    {
        std::function<void()> const task = std::move(alongside);
        alongside = nullptr;
        ++busy;
        hold.unlock();
        std::exception_ptr failed;
        try {
            task();
        } catch (...) {
            failed = std::current_exception();
        }
        hold.lock();
        --busy;
        failure = failure ? failure : failed;
        s.changed.notify_all();
    }

    // How much a photograph's next step had better wait: 0 not at all.
    int patience(std::size_t k) const
    {
        std::size_t waiting = 0, before = 0;
        for (std::size_t j = 0; j < count; ++j) {
            waiting += next[j] == Step::rectify && !held[j] ? 1 : 0;
            before += next[j] < Step::rectify ? 1 : 0;
        }
        bool const alone = next[k] == Step::rectify && waiting < 2 && before > 0;
        return (writing > 0 && writes(next[k]) ? 1 : 0) + (alone ? 1 : 0);
    }

    // The photograph whose step to take now, count when none.
    std::size_t choose() const
    {
        std::size_t best = count;
        int bestPatience = 0;
        for (std::size_t k = 0; k < count; ++k) {
            if (held[k] || next[k] == to || (next[k] == Step::find && !told(s, s.photos[k + 1])))
                continue;
            int const wait = patience(k);
            if (best == count || wait < bestPatience ||
                (wait == bestPatience && next[k] > next[best]))
                best = k, bestPatience = wait;
        }
        return best;
    }

    // The photographs whose step a worker takes with first's, held from now on.
    std::vector<std::size_t> take(std::size_t first)
    {
        Step const doing = next[first];
        std::vector<std::size_t> mine = {first};
        std::size_t waiting = 0;
        for (std::size_t k = first; doing == Step::rectify && k < count; ++k)
            waiting += !held[k] && next[k] == doing ? 1 : 0;
        std::size_t const jobs = static_cast<std::size_t>(s.jobs);
        std::size_t const share = std::max<std::size_t>(1, (waiting + jobs - 1) / jobs);
        for (std::size_t k = first + 1; k < count && mine.size() < share; ++k)
            if (!held[k] && next[k] == doing)
                mine.push_back(k);
        for (std::size_t k : mine)
            held[k] = true;
        writing += writes(doing) ? 1 : 0;
        ++busy;
        return mine;
    }

    // The photographs given back after their step, done unless it failed.
    void handBack(std::vector<std::size_t> const& mine, std::vector<Photo>& group, Step doing,
                  std::exception_ptr const& failed)
    {
        --busy;
        writing -= writes(doing) ? 1 : 0;
        for (std::size_t m = 0; m < mine.size(); ++m) {
            std::size_t const k = mine[m];
            held[k] = false;
            if (failed)
                continue;
            s.photos[k + 1] = std::move(group[m]);
            next[k] = static_cast<Step>(static_cast<int>(doing) + 1);
            if (next[k] == to)
                progress(what, ++finished, count);
        }
        if (failed)
            failure = failure ? failure : failed;
        else
            writeRecord(s);
        s.changed.notify_all();
    }

    Series& s;
    Step const to;
    char const* const what;
    StepWork const& step;
    std::size_t const count;
    std::vector<Step> next;
    std::vector<bool> held;
    std::size_t finished = 0, writing = 0, busy = 0;
    std::function<void()> alongside;
};

}  // namespace

void pipeline(Series& s, Step from, Step to, char const* what, StepWork const& step,
              std::function<void()> alongside)
{
    Pipeline p(s, from, to, what, step, std::move(alongside));
    std::vector<std::thread> workers;
    for (int j = 1; j < s.jobs; ++j)
        workers.emplace_back([&p] { p.work(); });
    p.work();
    for (std::thread& w : workers)
        w.join();
    if (p.failure)
        std::rethrow_exception(p.failure);
}

}  // namespace series
