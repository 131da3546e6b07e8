// Answers the file dialogs of a test in order and records what each was asked with.
#pragma once

#include "ui/uUiSeam.h"

#include <deque>
#include <vector>

struct FileDialogScript {
    FileDialogScript()
    {
        SetFileDialogHandler([this](const TFileDialogRequest& r) {
            asked.push_back(r);
            if (answers.empty()) return QString();
            const QString a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    ~FileDialogScript() { SetFileDialogHandler(nullptr); }
    FileDialogScript(const FileDialogScript&) = delete;
    FileDialogScript& operator=(const FileDialogScript&) = delete;

    std::deque<QString> answers; // an empty answer is Cancel
    std::vector<TFileDialogRequest> asked;
};
