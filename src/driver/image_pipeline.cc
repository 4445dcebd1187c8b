#include "driver/image_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "driver/dry_run.h"
#include "driver/file_budget.h"
#include "driver/scan_folder.h"
#include "platform/console.h"
#include "strip/image_batch.h"
#include "strip/process_image.h"

namespace {

// Files handed out and not yet taken into a batch, at most. Most of a walk's
// files are no camera files and cost a worker little more than an open and
// a read: the walk must keep far enough ahead that the threads take turns
// at waking each other only now and then.
constexpr std::size_t kInFlight = 1024;
// Once the walk is that far ahead, it takes in at least this many finished
// files at a time.
constexpr std::size_t kTakeAtOnce = kInFlight / 2;
// Idle workers are woken for this many files at a time.
constexpr std::size_t kWakeFor = 64;
// Camera files prepared and waiting for their places in a dry run, at most.
constexpr std::size_t kDryRunWaiting = 4;

using FileId = std::pair<std::uint64_t, std::uint64_t>;  // device, inode

// A .jpg file of the walk, for a worker to tell whether it is a camera file
// and go on with it.
struct Job {
  std::size_t index = 0;  // in the order of the walk
  std::string name;
  std::shared_ptr<const std::string> folder;  // shared by the folder's files
  std::unique_ptr<ImageState> state = std::make_unique<ImageState>();
  // Under the pipeline's lock:
  bool owner = false;  // holds `id` among the pictures at work
  FileId id;
  bool stale = false;  // an earlier file of the walk is the same picture: look again later
  // Set by its worker before the job is marked prepared: it could not be
  // opened for want of descriptors.
  bool retry = false;
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
  Pipeline(const Platform& platform, RunTotals& run_totals, const FileBudget& budget)
      : os(platform),
        totals(run_totals),
        batch_size(console_shows_at_once() ? 1 : budget.batch),
        cameras_in_flight(budget.cameras_waiting) {}

  const Platform& os;
  RunTotals& totals;
  bool alone = true;  // no worker started: the walk's thread works on each file itself
  // What a terminal shows must come in the order of the walk as it is
  // printed: there, each file is put in place before the next one begins.
  const std::size_t batch_size;
  const std::size_t cameras_in_flight;  // prepared and waiting for their places, at most

  // What the main thread alone touches.
  ImageBatch batch;
  std::vector<Job*> batch_jobs;  // the jobs of the batch's files, for their identities
  std::vector<std::unique_ptr<Job>> batch_holds;
  std::string batch_folder;
  std::size_t unwoken = 0;  // files handed out since the workers were last woken
  HeldFolder walk_folder;   // where files are opened on the walk's own thread
  std::shared_ptr<const std::string> folder_handed_on;

  // What the workers share with it, under `lock`.
  std::mutex lock;
  std::condition_variable work_waiting;   // a job to take, or the end
  std::condition_variable jobs_prepared;  // enough for the main thread to take
  std::condition_variable reading_moved;  // read_prefix went on
  std::deque<std::unique_ptr<Job>> jobs;  // handed out, not yet taken
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
  // The pictures at work, by identity, from their opening until they are in
  // place or given up: the jobs that hold each.
  std::map<FileId, std::vector<Job*>> owners;
  bool closing = false;

  // A file the walk would never have reached: one before it in its folder,
  // or in a folder it lies below, could not be read. Called under `lock`.
  bool dropped(std::size_t index, const std::string& folder) const {
    for (const Failure& failure : failures) {
      if (failure.index < index && within(folder, failure.folder)) return true;
    }
    return false;
  }

  // Makes `job` an owner of its picture. One picture, reached by two names
  // (a link, or a folder reached twice), has one owner at a time: of two at
  // work together, the later one in the walk is stale and is looked at
  // again once the earlier one is in place. Called under `lock`.
  void own(Job* job) {
    job->id = FileId{job->state->picture.device, job->state->picture.inode};
    job->owner = true;
    std::vector<Job*>& holders = owners[job->id];
    for (Job* other : holders) {
      if (other->index < job->index) {
        job->stale = true;
      } else {
        other->stale = true;
      }
    }
    holders.push_back(job);
  }

  // Called under `lock`.
  void disown(Job* job) {
    if (!job->owner) return;
    job->owner = false;
    std::vector<Job*>& holders = owners[job->id];
    holders.erase(std::remove(holders.begin(), holders.end(), job), holders.end());
    if (holders.empty()) owners.erase(job->id);
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

  // Opens the job's file and, for a camera file that no earlier file of the
  // walk is at work on, prepares it.
  void prepare_job(Job* job, HeldFolder* held, WriteTurn turn) {
    ImageState* state = job->state.get();
    const Opening opening = open_image(os, job->name, *job->folder, held, state);
    // Read by the walk's thread only once the job is marked prepared, under the lock.
    job->retry = opening == Opening::kOutOfFiles;
    bool stale = false;
    if (opening == Opening::kCamera) {
      const std::lock_guard<std::mutex> hold(lock);
      own(job);
      stale = job->stale;
    }
    if (opening == Opening::kCamera && !stale) {
      prepare_opened_image(os, std::move(turn), state);
    } else {
      OpenFile::close_file(&state->input);
    }
  }

  // Whether the main thread has something to take: the files it waits for,
  // or, when the workers wait for camera files to be taken, the first ones.
  // Called under `lock`.
  bool enough_prepared() const {
    return prepared_prefix >= wanted_prepared ||
           (cameras_prepared >= cameras_in_flight && prepared_prefix > first_index);
  }

  void work() {
    HeldFolder held;
    while (true) {
      Job* job = nullptr;
      {
        std::unique_lock<std::mutex> hold(lock);
        work_waiting.wait(hold, [&] {
          return closing || (next_to_take < dispatched && cameras_prepared < cameras_in_flight);
        });
        if (next_to_take >= dispatched) return;
        job = jobs[next_to_take - first_index].get();
        ++next_to_take;
      }
      WriteTurn turn{[this, job](bool wait) { return ask(*job, wait); },
                     [this, job](bool failed) { tell_read(*job, failed); }};
      prepare_job(job, &held, std::move(turn));
      bool wanted = false;
      {
        const std::lock_guard<std::mutex> hold(lock);
        // Every file is read through once its worker is done with it, on
        // every road, so that no later file waits for it in vain.
        mark_done(&read_through, job->index, &read_prefix);
        if (job->state->camera) ++cameras_prepared;
        mark_done(&prepared, job->index, &prepared_prefix);
        wanted = enough_prepared();
      }
      reading_moved.notify_all();
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
    {
      const std::lock_guard<std::mutex> hold(lock);
      for (Job* job : batch_jobs) disown(job);
    }
    batch_jobs.clear();
    batch_holds.clear();
  }

  // Works on a stale file, or one that could not be opened, afresh on this
  // thread, now that every file before it is in place.
  void look_again(Job* job) {
    discard_prepared(os, job->state.get());
    finish_batch_now();
    job->state = std::make_unique<ImageState>();
    {
      const std::lock_guard<std::mutex> hold(lock);
      disown(job);
      job->stale = false;
    }
    prepare_job(job, &walk_folder, WriteTurn{});
    note_failure(*job);
  }

  // A file worked on by this thread that could not be read ends its folder.
  void note_failure(const Job& job) {
    if (!job.state->camera || job.state->result != RESULT_LOAD_FAILED) return;
    const std::lock_guard<std::mutex> hold(lock);
    failures.push_back({job.index, *job.folder});
  }

  // Takes a prepared file, in the walk's order, into the batch of its folder.
  void take_prepared(std::unique_ptr<Job> job) {
    bool again = false;
    {
      const std::lock_guard<std::mutex> hold(lock);
      again = (job->stale || job->retry) && !dropped(job->index, *job->folder);
    }
    if (again) look_again(job.get());
    ImageState* state = job->state.get();
    {
      const std::lock_guard<std::mutex> hold(lock);
      if (dropped(job->index, *job->folder)) state->dropped = true;
      if (!state->camera || state->dropped) disown(job.get());
    }
    if (!state->camera || state->dropped) {
      discard_prepared(os, state);
      return;
    }
    const std::string& folder = *job->folder;
    if (!batch.files.empty() && (batch_folder != folder || batch.files.size() >= batch_size)) {
      finish_batch_now();
    }
    batch_folder = folder;
    batch.files.push_back(std::move(job->state));
    batch_jobs.push_back(job.get());
    batch_holds.push_back(std::move(job));
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
        taken.push_back(std::move(job));
      }
    }
    work_waiting.notify_all();
    for (std::unique_ptr<Job>& job : taken) take_prepared(std::move(job));
  }

  std::unique_ptr<Job> new_job(const std::string& name, const std::string& folder) {
    if (!folder_handed_on || *folder_handed_on != folder) {
      folder_handed_on = std::make_shared<const std::string>(folder);
    }
    auto job = std::make_unique<Job>();
    job->name = name;
    job->folder = folder_handed_on;
    return job;
  }

  // Hands one file of the walk on; answers whether the walk goes on with its folder.
  bool hand_on(const std::string& name, const std::string& folder) {
    std::unique_ptr<Job> job = new_job(name, folder);
    if (alone) {
      job->index = dispatched++;
      prepare_job(job.get(), &walk_folder, WriteTurn{});
      note_failure(*job);
      take_prepared(std::move(job));
      const std::lock_guard<std::mutex> hold(lock);
      return !dropped(dispatched, folder);
    }
    bool goes_on = true;
    bool cameras_waiting = false;
    {
      const std::lock_guard<std::mutex> hold(lock);
      job->index = dispatched++;
      read_through.push_back(0);
      prepared.push_back(0);
      jobs.push_back(std::move(job));
      goes_on = !dropped(dispatched, folder);
      cameras_waiting = cameras_prepared >= cameras_in_flight;
    }
    if (++unwoken >= kWakeFor) wake_workers();
    if (jobs.size() > kInFlight) {
      take_prepared_up_to(first_index + kTakeAtOnce);
    } else if (cameras_waiting) {
      take_prepared_up_to(first_index + 1);
    }
    return goes_on;
  }

  // Once the walk is over, or before it lists a folder it has been through
  // by another path, each file takes its place as soon as it and all before
  // it are prepared.
  void take_the_rest() {
    if (alone) return;  // nothing is handed out
    while (first_index < dispatched) take_prepared_up_to(first_index + 1);
  }

  void put_all_in_place() {
    take_the_rest();
    finish_batch_now();
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

void run_pipeline(const Platform& real, const std::string& folder, RunTotals& totals,
                  bool dry_run) {
  const auto dry = dry_run ? start_dry_run(real) : nullptr;
  const Platform& os = dry ? dry_run_table(*dry) : real;
  const int wanted = console_shows_at_once() || !os.worker_count ? 1 : os.worker_count();
  const int open_files = os.raise_open_file_limit ? os.raise_open_file_limit() : kFewOpenFiles;
  FileBudget budget = plan_file_budget(wanted, open_files);
  if (dry) {
    // A dry run's outputs are kept in memory until their turn: few at a time.
    budget.batch = std::min<std::size_t>(budget.batch, kDryRunWaiting);
    budget.cameras_waiting = std::min<std::size_t>(budget.cameras_waiting, kDryRunWaiting);
  }
  Pipeline pipeline(os, totals, budget);
  std::vector<std::thread> threads;
  if (budget.workers > 1) threads = start_workers(&pipeline, budget.workers);
  pipeline.alone = threads.empty();
  scan_folder(
      os, folder,
      [&](const std::string& name, const std::string& in) { return pipeline.hand_on(name, in); },
      [&] { pipeline.put_all_in_place(); });
  pipeline.take_the_rest();
  {
    const std::lock_guard<std::mutex> hold(pipeline.lock);
    pipeline.closing = true;
  }
  pipeline.work_waiting.notify_all();
  for (std::thread& thread : threads) thread.join();
  pipeline.finish_batch_now();
}
