#include "driver/image_pipeline.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/scan_folder.h"
#include "platform/console.h"
#include "strip/image_batch.h"
#include "strip/process_image.h"

namespace {

// Files of one folder that take their places together, at most.
constexpr std::size_t kBatchSize = 64;
// Camera files handed out and not yet taken into a batch, at most: enough
// that the workers never wait for the walk, few enough that their open files
// stay few.
constexpr std::size_t kInFlight = 32;

// A camera file, opened by the walk, for a worker to go on with.
struct Job {
  std::size_t index = 0;  // among the camera files, in the order of the walk
  std::string folder;
  std::unique_ptr<ImageState> state;
  bool prepared = false;
};

struct Failure {
  std::size_t index;
  std::string folder;
};

// Whether `folder` is `stopped` or lies below it.
bool within(const std::string& folder, const std::string& stopped) {
  return folder.size() >= stopped.size() && folder.compare(0, stopped.size(), stopped) == 0 &&
         (folder.size() == stopped.size() || folder[stopped.size()] == kPathSeparator);
}

struct Pipeline {
  Pipeline(const Platform& platform, RunTotals& run_totals, int worker_count)
      : os(platform), totals(run_totals), workers(worker_count) {}

  const Platform& os;
  RunTotals& totals;
  const int workers;
  // What a terminal shows must come in the order of the walk as it is
  // printed: there, each file is put in place before the next one begins.
  const std::size_t batch_size = console_shows_at_once() ? 1 : kBatchSize;

  // What the main thread alone touches.
  ImageBatch batch;
  std::string batch_folder;

  // What the workers share with it, under `lock`.
  std::mutex lock;
  std::condition_variable work_waiting;  // a job to take, or the end
  std::condition_variable job_prepared;
  std::condition_variable reading_moved;  // read_prefix went on
  std::deque<std::unique_ptr<Job>> jobs;  // handed out, not yet in a batch
  std::size_t first_index = 0;            // the index of jobs.front()
  std::size_t next_to_take = 0;           // the next index a worker takes
  std::size_t dispatched = 0;
  std::vector<char> read_through;  // by index: the file has been read through
  std::size_t read_prefix = 0;     // every file before this index has been
  std::vector<Failure> failures;   // files that could not be read
  bool closing = false;

  // A file the walk would never have reached: one before it in its folder,
  // or in a folder it lies below, could not be read. Called under `lock`.
  bool dropped(std::size_t index, const std::string& folder) const {
    for (const Failure& failure : failures) {
      if (failure.index < index && within(folder, failure.folder)) return true;
    }
    return false;
  }

  Turn ask(const Job& job, bool wait) {
    std::unique_lock<std::mutex> hold(lock);
    while (read_prefix < job.index) {
      if (!wait) return Turn::kWait;
      reading_moved.wait(hold);
    }
    return dropped(job.index, job.folder) ? Turn::kDropped : Turn::kGo;
  }

  void tell_read(const Job& job, bool failed) {
    {
      const std::lock_guard<std::mutex> hold(lock);
      if (failed) failures.push_back({job.index, job.folder});
      read_through[job.index] = 1;
      while (read_prefix < dispatched && read_through[read_prefix] != 0) ++read_prefix;
    }
    reading_moved.notify_all();
  }

  void work() {
    while (true) {
      Job* job = nullptr;
      {
        std::unique_lock<std::mutex> hold(lock);
        work_waiting.wait(hold, [&] { return closing || next_to_take < dispatched; });
        if (next_to_take >= dispatched) return;
        job = jobs[next_to_take - first_index].get();
        ++next_to_take;
      }
      WriteTurn turn{[this, job](bool wait) { return ask(*job, wait); },
                     [this, job](bool failed) { tell_read(*job, failed); }};
      prepare_opened_image(os, turn, job->state.get());
      {
        const std::lock_guard<std::mutex> hold(lock);
        job->prepared = true;
      }
      job_prepared.notify_one();
    }
  }

  void finish_batch_now() {
    finish_batch(os, &batch, totals);
    batch.files.clear();
  }

  // Takes a prepared file, in the walk's order, into the batch of its folder.
  void take_prepared(std::unique_ptr<ImageState> state, const std::string& folder) {
    if (!state->camera || state->dropped) return;
    if (!batch.files.empty() && (batch_folder != folder || batch.files.size() >= batch_size)) {
      finish_batch_now();
    }
    batch_folder = folder;
    batch.files.push_back(std::move(state));
    if (batch.files.size() >= batch_size) finish_batch_now();
  }

  // The earliest file handed out, once prepared.
  void take_earliest() {
    std::unique_ptr<Job> job;
    {
      std::unique_lock<std::mutex> hold(lock);
      job_prepared.wait(hold, [&] { return jobs.front()->prepared; });
      job = std::move(jobs.front());
      jobs.pop_front();
      ++first_index;
      // A file whose own reading failed after an earlier failure had already
      // ended its folder was never to be reached.
      if (dropped(job->index, job->folder)) job->state->dropped = true;
    }
    take_prepared(std::move(job->state), job->folder);
  }

  // Hands one file of the walk on; answers whether the walk goes on with its folder.
  bool hand_on(const std::string& name, const std::string& folder) {
    auto state = std::make_unique<ImageState>();
    if (workers == 1) {
      prepare_image(os, name, folder, WriteTurn{}, state.get());
      const bool failed = state->camera && state->result == RESULT_LOAD_FAILED;
      take_prepared(std::move(state), folder);
      return !failed;
    }
    // Telling camera files from others takes an open and a read of 16
    // bytes: less than handing the file to a worker would cost.
    if (open_image(os, name, folder, state.get())) {
      auto job = std::make_unique<Job>();
      job->folder = folder;
      job->state = std::move(state);
      {
        const std::lock_guard<std::mutex> hold(lock);
        job->index = dispatched++;
        read_through.push_back(0);
        jobs.push_back(std::move(job));
      }
      work_waiting.notify_one();
      while (jobs.size() > kInFlight) take_earliest();
    }
    const std::lock_guard<std::mutex> hold(lock);
    return !dropped(dispatched, folder);
  }
};

}  // namespace

void run_pipeline(const Platform& os, const std::string& folder, RunTotals& totals) {
  const int workers = console_shows_at_once() || !os.worker_count ? 1 : os.worker_count();
  Pipeline pipeline(os, totals, workers);
  std::vector<std::thread> threads;
  if (pipeline.workers > 1) {
    for (int i = 0; i < pipeline.workers; ++i) threads.emplace_back([&] { pipeline.work(); });
  }
  scan_folder(os, folder, [&](const std::string& name, const std::string& in) {
    return pipeline.hand_on(name, in);
  });
  while (!pipeline.jobs.empty()) pipeline.take_earliest();
  {
    const std::lock_guard<std::mutex> hold(pipeline.lock);
    pipeline.closing = true;
  }
  pipeline.work_waiting.notify_all();
  for (std::thread& thread : threads) thread.join();
  pipeline.finish_batch_now();
}
