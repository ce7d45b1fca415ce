#pragma once
// The states of document and file items, and the other fixed numbers of the lists.

// State icons (image indexes) of both lists; -1 is an untouched item that shows its check box.
// clang-format off
enum : int {
    DocPending = -1, DocParsing = 0, DocFailed = 1, DocParsed = 2,
    FilePending = -1, FileDownloading = 0, FileFailed = 1, FileDownloaded = 2, FileOpened = 3,
    FileSkipped = 4
};
// clang-format on

// The state image of an item whose check box is hidden (it shows its state icon instead).
constexpr int NoBoxStateImage = 3;

// How a scanned page's links are sorted: the main document's links go to the parse list, a
// linked document's links straight into the document list.
enum : int { ParseMain = 1, ParseLinked = 2 };

// A download that ends smaller than this is taken for an error page and deleted.
constexpr long long MinimumFileSize = 1000;
