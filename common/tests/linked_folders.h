// Folders whose subfolders are links, for the trees' tests: in the test's
// own folder and, where one can be made, in a folder on tmpfs (/dev/shm),
// both known to the namespace as volumes.  Each place holds
//   store/class1, store/class2      real folders
//   classes/class1, classes/class2  links to them only (link count 2)
//   mixed/real, mixed/linked        a folder and a link
// The tmpfs folder is removed with the object.
#pragma once

#include "shellns.h"

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

struct TLinkedFolderPlaces {
    std::vector<std::string> places;
    std::string shm;

    explicit TLinkedFolderPlaces(const std::string& root) : places{root} {
        namespace fs = std::filesystem;
        char shmTemplate[] = "/dev/shm/drilltest.XXXXXX";
        if (::mkdtemp(shmTemplate)) {
            shm = shmTemplate;
            places.push_back(shm);
        }
        shell::TNamespaceConfig c;
        c.home = root + "/home";
        c.desktop = root + "/home/Desktop";
        c.volumes = {"/", root};
        if (!shm.empty()) c.volumes.push_back(shm);
        shell::SetNamespaceConfig(c);
        for (const std::string& place : places) {
            fs::create_directories(place + "/store/class1");
            fs::create_directories(place + "/store/class2");
            fs::create_directories(place + "/classes");
            fs::create_directory_symlink(place + "/store/class1", place + "/classes/class1");
            fs::create_directory_symlink(place + "/store/class2", place + "/classes/class2");
            fs::create_directories(place + "/mixed/real");
            fs::create_directory_symlink(place + "/store/class1", place + "/mixed/linked");
        }
    }
    ~TLinkedFolderPlaces() {
        std::error_code ec;
        if (!shm.empty()) std::filesystem::remove_all(shm, ec);
    }
    TLinkedFolderPlaces(const TLinkedFolderPlaces&) = delete;
    TLinkedFolderPlaces& operator=(const TLinkedFolderPlaces&) = delete;
};
