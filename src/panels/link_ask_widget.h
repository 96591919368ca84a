// The windows' one way of asking the units something: the question runs on the link thread,
// the answer comes back on the GUI thread, and a window closed in between gets nothing (its
// answer is dropped instead of reaching a destroyed object).
#pragma once

#include <QPointer>

#include <memory>
#include <type_traits>
#include <utility>

#include "link/link.h"
#include "link/link_worker.h"

namespace qm {

// Runs `work(link)` on the link thread, then `then(result)` (or `then()` when `work` returns
// nothing) on the GUI thread while `receiver` still exists.
template <typename Receiver, typename Work, typename Then>
void ask_link(LinkWorker& worker, Receiver* receiver, Work work, Then then) {
  using Result = std::invoke_result_t<Work&, Link&>;
  worker.post([&worker, self = QPointer<Receiver>(receiver), work = std::move(work),
               then = std::move(then)](Link& link) mutable {
    if constexpr (std::is_void_v<Result>) {
      work(link);
      worker.deliver([self, then] {
        if (self) then();
      });
    } else {
      auto result = std::make_shared<Result>(work(link));
      worker.deliver([self, then, result] {
        if (self) then(std::move(*result));
      });
    }
  });
}

}  // namespace qm
