// The largest listen backlog the system allows, for the servers here: many
// clients may connect in the same instant (a load test, a busy shop), and a
// connect that finds the queue full is lost or delayed by a second or more.
#pragma once

namespace pcpos::sim {

int LargestListenBacklog();

}  // namespace pcpos::sim
