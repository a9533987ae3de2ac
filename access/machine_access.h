// What this machine shows of its folders, files and the installed service,
// read for the access model: on Windows from handles opened without
// following a link; elsewhere nothing is known.
#pragma once

#include <string>

#include "access/installed_service.h"
#include "access/service_folder.h"

// The machine's own folders: the Windows folder, Program Files (both of them
// on 64-bit Windows), ProgramData and Users. Off Windows, their defaults.
MachineFolders DefaultMachineFolders();

// What this machine can tell of a folder, for the folder rule: its chain of
// folders, what it holds, and the service's registration. Off Windows,
// nothing: facts.known stays false.
void ReadFolderFacts(const std::string& folder, FolderFacts& facts);

// Why others than administrators can change a file the service would start
// here, or a folder above it, or why it leads elsewhere; empty when no one
// can, or it is not there. Null where there is no such view: off Windows.
extern std::string (*const kTargetChangeable)(const std::string& path, const Trusted& trusted);

// Who this machine trusts: SYSTEM, Administrators, TrustedInstaller and the
// accounts in Administrators, which it is asked about as they come. A check
// makes one, and keeps it while it runs. Off Windows, the built-in ones.
Trusted TrustedHere();

// What this machine says of the installed service. Off Windows, nothing:
// facts.registered stays false.
void ReadInstalledFacts(InstalledFacts& facts);

// The service is registered here, and where its image path says it lies.
bool ServiceRegistered(std::string& folder);
