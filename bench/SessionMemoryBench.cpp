// What forty Corvanes hold through lilv, as a host's session holds them: each instantiated with
// its options, its ports connected, activated and run for a second of audio, so that every page
// its processing touches has been touched. Measured in a fresh process (this program, started
// again with kChildFlag), so that nothing the other benchmarks left in the allocator or the page
// tables counts for or against it: a forked child would reuse the parent's resident pages. The
// child sends its figures back through a pipe.

#include <benchmark/benchmark.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace corvane_bench {
/** Makes the program measure one session and write its figures to standard output. */
extern const char* const kSessionMemoryChildFlag;
const char* const kSessionMemoryChildFlag = "--session-memory-child";
}  // namespace corvane_bench

namespace {

constexpr int kInstances = 40;
constexpr int kFrames = 256;
constexpr double kRate = 48000.0;
constexpr const char* kStereoURI = "http://pellumar.com/plugins/corvane#stereo";

struct Figures {
  double heapBytes = NAN;     // malloc's bytes in use, arenas and mappings
  double touchedBytes = NAN;  // resident pages the process gained
};

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

size_t ResidentBytes() {
  long size = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return 0;
  const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
  std::fclose(statm);
  return read == 2 ? static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

std::map<std::string, LV2_URID>& Urids() {
  static std::map<std::string, LV2_URID> urids;
  return urids;
}

LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
  auto& urids = Urids();
  const auto found = urids.find(uri);
  if (found != urids.end()) return found->second;
  const auto id = static_cast<LV2_URID>(urids.size() + 1);
  urids.emplace(uri, id);
  return id;
}

// One instance: ports on buffers of its own, controls at their defaults but for the settings,
// and a worker as hosts have one (run here between blocks, where a host's worker thread would).
struct Track {
  LilvInstance* instance = nullptr;
  std::vector<float> controls;
  std::vector<std::vector<float>> audio;
  LV2_Worker_Schedule schedule{};
  LV2_Feature scheduleFeature{};
  bool workPending = false;
};

LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t, const void*) {
  static_cast<Track*>(handle)->workPending = true;
  return LV2_WORKER_SUCCESS;
}

void RunWork(Track& track) {
  if (!track.workPending) return;
  track.workPending = false;
  const auto* worker = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(track.instance, LV2_WORKER__interface));
  const uint8_t wake = 0;
  if (worker && worker->work)
    worker->work(lilv_instance_get_handle(track.instance), nullptr, nullptr, sizeof wake, &wake);
}

// In the child: the session, and its figures against the process before the first instance.
Figures MeasureSession(bool oversampled) {
  LilvWorld* world = lilv_world_new();
  LilvNode* bundle = lilv_new_file_uri(world, nullptr, CORVANE_LV2_BUNDLE_DIR "/");
  lilv_world_load_bundle(world, bundle);
  LilvNode* uri = lilv_new_uri(world, kStereoURI);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  if (!plugin) return {};

  LV2_URID_Map map{nullptr, Map};
  const int32_t block = kFrames;
  const LV2_URID intType = Map(nullptr, LV2_ATOM__Int);
  const LV2_Options_Option options[] = {
      {LV2_OPTIONS_INSTANCE, 0, Map(nullptr, LV2_BUF_SIZE__nominalBlockLength), sizeof block,
       intType, &block},
      {LV2_OPTIONS_INSTANCE, 0, Map(nullptr, LV2_BUF_SIZE__maxBlockLength), sizeof block, intType,
       &block},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  const LV2_Feature mapFeature{LV2_URID__map, &map};
  const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
  const LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};

  const uint32_t ports = lilv_plugin_get_num_ports(plugin);
  std::vector<float> defaults(ports, 0.f);
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
  const std::map<std::string, float> settings = {{"mod_a", 50.f},
                                                 {"mod_b", 50.f},
                                                 {"threshold", -20.f},
                                                 {"nonlinearity", 1.1f},
                                                 {"knee", 3.f},
                                                 {"gain", 12.f},
                                                 {"oversampling", oversampled ? 1.f : 0.f}};
  LilvNode* audioClass = lilv_new_uri(world, LV2_CORE__AudioPort);
  LilvNode* inputClass = lilv_new_uri(world, LV2_CORE__InputPort);

  std::vector<Track> tracks(kInstances);
  for (Track& track : tracks) {
    track.controls = defaults;
    track.audio.assign(ports, std::vector<float>());
  }
  const size_t heapBefore = HeapInUse();
  const size_t residentBefore = ResidentBytes();
  for (Track& track : tracks) {
    track.schedule = LV2_Worker_Schedule{&track, Schedule};
    track.scheduleFeature = LV2_Feature{LV2_WORKER__schedule, &track.schedule};
    const LV2_Feature* features[] = {&mapFeature, &optionsFeature, &boundedFeature,
                                     &track.scheduleFeature, nullptr};
    track.instance = lilv_plugin_instantiate(plugin, kRate, features);
    if (!track.instance) return {};
    for (uint32_t p = 0; p < ports; ++p) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
      const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
      if (lilv_port_is_a(plugin, port, audioClass)) {
        track.audio[p].assign(kFrames, 0.f);
        lilv_instance_connect_port(track.instance, p, track.audio[p].data());
        continue;
      }
      if (const auto setting = settings.find(symbol); setting != settings.end())
        track.controls[p] = setting->second;
      lilv_instance_connect_port(track.instance, p, &track.controls[p]);
    }
    lilv_instance_activate(track.instance);
  }
  // A second of music-like signal through every instance in turn.
  for (int b = 0; b < static_cast<int>(kRate) / kFrames; ++b) {
    for (Track& track : tracks) {
      for (uint32_t p = 0; p < ports; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        if (track.audio[p].empty() || !lilv_port_is_a(plugin, port, inputClass)) continue;
        for (int i = 0; i < kFrames; ++i)
          track.audio[p][static_cast<size_t>(i)] =
              0.5f * static_cast<float>(std::sin(0.0577 * (b * kFrames + i) + p));
      }
      lilv_instance_run(track.instance, kFrames);
    }
    for (Track& track : tracks) RunWork(track);
  }
  Figures figures;
  figures.heapBytes = static_cast<double>(HeapInUse() - heapBefore) / kInstances;
  figures.touchedBytes = static_cast<double>(ResidentBytes() - residentBefore) / kInstances;

  for (Track& track : tracks) {
    lilv_instance_deactivate(track.instance);
    lilv_instance_free(track.instance);
  }
  lilv_node_free(inputClass);
  lilv_node_free(audioClass);
  lilv_node_free(uri);
  lilv_node_free(bundle);
  lilv_world_free(world);
  return figures;
}

Figures MeasureInChild(bool oversampled) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return {};
  if (child == 0) {
    close(fds[0]);
    if (dup2(fds[1], STDOUT_FILENO) < 0) _exit(1);
    const char* argv[] = {"corvane_bench", corvane_bench::kSessionMemoryChildFlag,
                          oversampled ? "1" : "0", nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    _exit(1);
  }
  close(fds[1]);
  Figures figures;
  const ssize_t got = read(fds[0], &figures, sizeof figures);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (got != static_cast<ssize_t>(sizeof figures) || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return {};
  return figures;
}

// Reported per instance, in bytes; the figure does not depend on timing, so one iteration.
void BM_SessionMemory(benchmark::State& state) {
  const bool oversampled = state.range(0) != 0;
  Figures figures;
  for (auto _ : state) figures = MeasureInChild(oversampled);
  if (std::isnan(figures.heapBytes)) {
    state.SkipWithError("the LV2 bundle could not be loaded or run");
    return;
  }
  state.counters["heap_bytes_per_instance"] = figures.heapBytes;
  state.counters["touched_bytes_per_instance"] = figures.touchedBytes;
}

}  // namespace

namespace corvane_bench {

int RunSessionMemoryChild(const char* oversampled) {
  const Figures figures = MeasureSession(std::strcmp(oversampled, "1") == 0);
  const ssize_t written = write(STDOUT_FILENO, &figures, sizeof figures);
  return written == static_cast<ssize_t>(sizeof figures) && !std::isnan(figures.heapBytes) ? 0 : 1;
}

void RegisterSessionMemoryBenchmarks() {
  for (int oversampled : {0, 1})
    benchmark::RegisterBenchmark("BM_SessionMemory", BM_SessionMemory)
        ->ArgName("oversampled")
        ->Arg(oversampled)
        ->Iterations(1);
}

}  // namespace corvane_bench
