// The command groups of `vardel`, each in its own file here: it declares its
// commands' options and runs them. A new command is a new file and one line
// below (the order is the order `vardel --help` lists them in).
#pragma once

#include "host/commands/command_line.h"

namespace vardel::host {

void add_window_commands(CommandLine& cli);    // gui, backup, restore, view, about
void add_render_command(CommandLine& cli);     // render
void add_device_commands(CommandLine& cli);    // device init
void add_contacts_commands(CommandLine& cli);  // contacts import|export|list
void add_messages_commands(CommandLine& cli);  // messages import|export|restore|list
void add_convert_command(CommandLine& cli);    // convert
void add_phone_commands(CommandLine& cli);     // phone pull|push|backup|info
void add_verify_command(CommandLine& cli);     // verify
void add_prune_command(CommandLine& cli);      // prune
void add_archive_command(CommandLine& cli);    // archive
void add_history_command(CommandLine& cli);    // history add|search|conversations|contacts|export
void add_history_view_command(CommandLine& cli);  // history view
void add_carddav_command(CommandLine& cli);       // carddav push|pull
void add_version_command(CommandLine& cli);       // version, --version

inline constexpr void (*kCommandGroups[])(CommandLine&) = {
    add_window_commands,   add_render_command,  add_device_commands, add_contacts_commands,
    add_messages_commands, add_convert_command, add_phone_commands,  add_verify_command,
    add_prune_command,     add_archive_command, add_history_command, add_history_view_command,
    add_carddav_command,
    add_version_command,
};

}  // namespace vardel::host
