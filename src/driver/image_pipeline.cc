#include "driver/image_pipeline.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "driver/scan_folder.h"
#include "platform/console.h"
#include "strip/image_batch.h"
#include "strip/process_image.h"

namespace {

// Files of one folder that take their places together, at most.
constexpr std::size_t kBatchSize = 64;
// Files handed out and not yet taken into a batch, at most. Most of a walk's
// files are no camera files and cost a worker little more than an open and
// a read: the walk must keep far enough ahead that the threads take turns
// at waking each other only now and then.
constexpr std::size_t kInFlight = 1024;
// Camera files among them, prepared and waiting for their places, at most:
// each holds its output open.
constexpr std::size_t kCamerasInFlight = 32;
// Once the walk is that far ahead, it takes in at least this many finished
// files at a time.
constexpr std::size_t kTakeAtOnce = kInFlight / 2;
// Idle workers are woken for this many files at a time.
constexpr std::size_t kWakeFor = 64;

// A .jpg file of the walk, for a worker to tell whether it is a camera file
// and go on with it.
struct Job {
  std::size_t index = 0;  // in the order of the walk
  std::string name;
  std::shared_ptr<const std::string> folder;  // shared by the folder's files
  std::unique_ptr<ImageState> state = std::make_unique<ImageState>();
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

// Marks `index` done in `flags` and moves `prefix` past every done index.
void mark_done(std::vector<char>* flags, std::size_t index, std::size_t* prefix) {
  (*flags)[index] = 1;
  while (*prefix < flags->size() && (*flags)[*prefix] != 0) ++*prefix;
}

struct Pipeline {
  Pipeline(const Platform& platform, RunTotals& run_totals) : os(platform), totals(run_totals) {}

  const Platform& os;
  RunTotals& totals;
  bool alone = true;  // no worker started: the walk's thread works on each file itself
  // What a terminal shows must come in the order of the walk as it is
  // printed: there, each file is put in place before the next one begins.
  const std::size_t batch_size = console_shows_at_once() ? 1 : kBatchSize;

  // What the main thread alone touches.
  ImageBatch batch;
  std::string batch_folder;
  std::size_t unwoken = 0;  // files handed out since the workers were last woken
  HeldFolder walk_folder;   // where files are opened when no worker helps
  std::shared_ptr<const std::string> folder_handed_on;

  // What the workers share with it, under `lock`.
  std::mutex lock;
  std::condition_variable work_waiting;   // a job to take, or the end
  std::condition_variable jobs_prepared;  // enough for the main thread to take
  std::condition_variable reading_moved;  // read_prefix went on
  std::deque<std::unique_ptr<Job>> jobs;  // handed out, not yet in a batch
  std::size_t first_index = 0;            // the index of jobs.front()
  std::size_t next_to_take = 0;           // the next index a worker takes
  std::size_t dispatched = 0;
  std::vector<char> read_through;  // by index: the file has been read through
  std::size_t read_prefix = 0;     // every file before this index has been
  std::vector<char> prepared;      // by index: a worker is done with the file
  std::size_t prepared_prefix = 0;
  std::size_t wanted_prepared = 0;   // what the main thread waits for
  std::size_t cameras_prepared = 0;  // camera files prepared and not yet taken
  std::vector<Failure> failures;     // files that could not be read
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
    return dropped(job.index, *job.folder) ? Turn::kDropped : Turn::kGo;
  }

  void tell_read(const Job& job, bool failed) {
    {
      const std::lock_guard<std::mutex> hold(lock);
      if (failed) failures.push_back({job.index, *job.folder});
      mark_done(&read_through, job.index, &read_prefix);
    }
    reading_moved.notify_all();
  }

  // Whether the main thread has something to take: the files it waits for,
  // or, when the workers wait for camera files to be taken, the first ones.
  // Called under `lock`.
  bool enough_prepared() const {
    return prepared_prefix >= wanted_prepared ||
           (cameras_prepared >= kCamerasInFlight && prepared_prefix > first_index);
  }

  void work() {
    HeldFolder held;
    while (true) {
      Job* job = nullptr;
      {
        std::unique_lock<std::mutex> hold(lock);
        work_waiting.wait(hold, [&] {
          return closing || (next_to_take < dispatched && cameras_prepared < kCamerasInFlight);
        });
        if (next_to_take >= dispatched) return;
        job = jobs[next_to_take - first_index].get();
        ++next_to_take;
      }
      const bool camera = open_image(os, job->name, *job->folder, &held, job->state.get());
      if (camera) {
        WriteTurn turn{[this, job](bool wait) { return ask(*job, wait); },
                       [this, job](bool failed) { tell_read(*job, failed); }};
        prepare_opened_image(os, std::move(turn), job->state.get());
      }
      bool wanted = false;
      {
        const std::lock_guard<std::mutex> hold(lock);
        // Any other file is read through as soon as it is told apart.
        if (!camera) mark_done(&read_through, job->index, &read_prefix);
        if (camera) ++cameras_prepared;
        mark_done(&prepared, job->index, &prepared_prefix);
        wanted = enough_prepared();
      }
      if (!camera) reading_moved.notify_all();
      if (wanted) jobs_prepared.notify_one();
    }
  }

  void wake_workers() {
    if (unwoken == 0) return;
    unwoken = 0;
    work_waiting.notify_all();
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

  // Waits until every file before index `until` is prepared, or the workers
  // wait for camera files to be taken, then takes every prepared file at
  // the front, in order. The front file is always at work by then: workers
  // take files in order, and it is the first of them.
  void take_prepared_up_to(std::size_t until) {
    wake_workers();
    std::vector<std::unique_ptr<Job>> taken;
    {
      std::unique_lock<std::mutex> hold(lock);
      wanted_prepared = until;
      jobs_prepared.wait(hold, [&] { return enough_prepared(); });
      while (first_index < prepared_prefix) {
        std::unique_ptr<Job> job = std::move(jobs.front());
        jobs.pop_front();
        ++first_index;
        if (job->state->camera) --cameras_prepared;
        // A file whose own reading failed after an earlier failure had
        // already ended its folder was never to be reached.
        if (dropped(job->index, *job->folder)) job->state->dropped = true;
        taken.push_back(std::move(job));
      }
    }
    work_waiting.notify_all();
    for (std::unique_ptr<Job>& job : taken) take_prepared(std::move(job->state), *job->folder);
  }

  // Hands one file of the walk on; answers whether the walk goes on with its folder.
  bool hand_on(const std::string& name, const std::string& folder) {
    if (alone) {
      auto state = std::make_unique<ImageState>();
      prepare_image(os, name, folder, &walk_folder, WriteTurn{}, state.get());
      const bool failed = state->camera && state->result == RESULT_LOAD_FAILED;
      take_prepared(std::move(state), folder);
      return !failed;
    }
    if (!folder_handed_on || *folder_handed_on != folder) {
      folder_handed_on = std::make_shared<const std::string>(folder);
    }
    auto job = std::make_unique<Job>();
    job->name = name;
    job->folder = folder_handed_on;
    bool goes_on = true;
    bool cameras_waiting = false;
    {
      const std::lock_guard<std::mutex> hold(lock);
      job->index = dispatched++;
      read_through.push_back(0);
      prepared.push_back(0);
      jobs.push_back(std::move(job));
      goes_on = !dropped(dispatched, folder);
      cameras_waiting = cameras_prepared >= kCamerasInFlight;
    }
    if (++unwoken >= kWakeFor) wake_workers();
    if (jobs.size() > kInFlight) {
      take_prepared_up_to(first_index + kTakeAtOnce);
    } else if (cameras_waiting) {
      take_prepared_up_to(first_index + 1);
    }
    return goes_on;
  }

  // Once the walk is over, each file takes its place as soon as it and all
  // before it are prepared.
  void take_the_rest() {
    while (first_index < dispatched) take_prepared_up_to(first_index + 1);
  }
};

// Starts up to `count` workers. A system that refuses a thread gets fewer;
// with none, the walk's own thread does the work.
std::vector<std::thread> start_workers(Pipeline* pipeline, int count) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    // std::thread reports a refused thread only by throwing.
    try {
      threads.emplace_back([pipeline] { pipeline->work(); });
    } catch (const std::system_error&) {
      break;
    }
  }
  return threads;
}

}  // namespace

void run_pipeline(const Platform& os, const std::string& folder, RunTotals& totals) {
  const int workers = console_shows_at_once() || !os.worker_count ? 1 : os.worker_count();
  Pipeline pipeline(os, totals);
  std::vector<std::thread> threads;
  if (workers > 1) threads = start_workers(&pipeline, workers);
  pipeline.alone = threads.empty();
  scan_folder(os, folder, [&](const std::string& name, const std::string& in) {
    return pipeline.hand_on(name, in);
  });
  pipeline.take_the_rest();
  {
    const std::lock_guard<std::mutex> hold(pipeline.lock);
    pipeline.closing = true;
  }
  pipeline.work_waiting.notify_all();
  for (std::thread& thread : threads) thread.join();
  pipeline.finish_batch_now();
}
