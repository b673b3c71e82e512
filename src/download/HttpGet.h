// THttpGet: turns a download request into a file task for the process-wide worker pool
// and cancels all tasks of one owner. Main thread.
#pragma once

#include <string>

#include "download/HttpTask.h"

namespace download {

class THttpGet : public base::TObject {
 public:
  // Always true: a task no worker can take at once waits in the pool's queue.
  // resumable: a download that breaks off continues at the next attempt (DownloadResumable),
  // and maxSize > 0 refuses a file larger than that.
  bool AddFileTask(const std::string& url, const std::string& postData, const std::string& fileName,
                   net::THttpProgressEvent onProgress, THttpDoneEvent onDone, base::TObject* owner,
                   bool resumable = false, int64_t maxSize = 0);
  // Cancels every task with an event whose context is owner (nothing for a null owner).
  void CancelTasks(const void* owner);
};

}  // namespace download
