// The connection catalogue's refresh on the simulated machine, from 8 to 64
// adapters, each with its connection and registry key.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/Platform.h"
#include "platform/sim/SimCom.h"
#include "platform/sim/SimIpHelper.h"
#include "platform/sim/SimNetSharing.h"
#include "platform/sim/SimNetworkScenario.h"
#include "platform/sim/SimRegistry.h"
#include "sharing/ConnectionUnit.h"

using namespace kestrune::platform;

static void BM_ConnectionManagerRefresh(benchmark::State& state) {
  SimRegistry registry;
  SimIpHelper ipHelper;
  SimNetSharing sharing;
  SimCom com;
  sharing.SetComRuntime(&com);
  SimNetworkBuilder builder(registry, ipHelper, sharing);
  const int count = static_cast<int>(state.range(0));
  for (int n = 1; n <= count; ++n) {
    SimAdapter a;
    a.guid = SimNetworkBuilder::GuidFor(n);
    a.connectionName = "Connection " + std::to_string(n);
    a.deviceName = "Adapter #" + std::to_string(n);
    a.pnpInstanceId = n % 2 ? "PCI\\VEN_8086&DEV_100E\\" + std::to_string(n) : "ROOT\\NET\\" + std::to_string(n);
    a.mediaSubType = n % 4 == 0 ? 2u : 1u;
    a.addresses = {{"10.0." + std::to_string(n) + ".2", "255.255.255.0"}};
    a.gateways = {"10.0." + std::to_string(n) + ".1"};
    builder.Add(a);
  }
  Platform p;
  p.registry = &registry;
  p.ipHelper = &ipHelper;
  p.netSharing = &sharing;
  p.com = &com;
  TConnectionManager catalogue(p);
  for (auto _ : state) {
    catalogue.Refresh();
    benchmark::DoNotOptimize(catalogue.Connections().Count());
  }
  if (catalogue.Connections().Count() != count) state.SkipWithError("not every connection was listed");
  state.SetComplexityN(count);
}
BENCHMARK(BM_ConnectionManagerRefresh)->RangeMultiplier(2)->Range(8, 64)->Unit(benchmark::kMicrosecond)->Complexity();

BENCHMARK_MAIN();
