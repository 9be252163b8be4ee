#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zandor {

// What makes an order, as given for a new CDX tag or NTX file.
struct IndexDefinition {
  std::string tag;  // CDX tag name (at most 10 characters); for NTX stored when not empty
  std::string key;
  std::string forCondition;
  bool unique = false;
  bool descending = false;
};

// Builds an order from the key expression over every record of the table: a new NTX file,
// or a tag added to (or replaced in) a CDX file, which is created when missing. The driver
// follows the index file's extension (".cdx", otherwise NTX). The file is built under a
// temporary name and renamed at the end, so a failure leaves the old file as it was.
// Throws std::runtime_error (or a subclass) with a readable message.
void createIndex(const std::string& tablePath, const std::string& indexPath,
                 const IndexDefinition& definition);
void createIndex(const std::string& tablePath, const std::string& indexPath, const std::string& tag,
                 const std::string& key, const std::string& forCondition = {}, bool unique = false,
                 bool descending = false);

// Rebuilds every order of an index file from its own expressions, the same way.
// Both keep the identity of an existing index file: a symbolic link is followed and the file
// it names is replaced (the link stays), with its mode and, where permitted, its owner. A
// file that may not be written is refused (indexWriteRefusal), and nothing changes.
void reindexFile(const std::string& tablePath, const std::string& indexPath);

// Why an existing index file may not be replaced by a build (German), or nothing: a file we
// may not write is refused even where its directory would let us replace it.
std::optional<std::string> indexWriteRefusal(const std::string& indexPath);

// Checks an index file against the table: the structure of every order, and that every
// maintained order holds exactly one key per qualifying record (a unique order: only keys
// of qualifying records, each key once). Empty when sound; otherwise one line per finding.
std::vector<std::string> checkIndex(const std::string& tablePath, const std::string& indexPath);

// A feature of the table or index file that we cannot maintain as its writer does (named in
// German), or nothing. Such files are refused for writing and their check says so instead
// of listing differences.
std::optional<std::string> unsupportedIndexFeature(const std::string& tablePath,
                                                   const std::string& indexPath);

}  // namespace zandor
