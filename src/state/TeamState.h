#pragma once

#include <cstdint>
#include <string>

namespace dunvel {

// One team of a snapshot. Its fields are fixed at construction; a changed team is a new record.
// A team is identified by its id.
class TeamState {
 public:
  TeamState(std::string id, std::string name, std::int64_t points)
      : id_(std::move(id)), name_(std::move(name)), points_(points) {}

  const std::string& id() const { return id_; }
  const std::string& name() const { return name_; }
  std::int64_t points() const { return points_; }

  // id, then name, then points; texts by canonical equivalence.
  friend bool operator==(const TeamState& a, const TeamState& b);

 private:
  std::string id_;
  std::string name_;
  std::int64_t points_;
};

}  // namespace dunvel
