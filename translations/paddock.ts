<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>ArchiveFiles</name>
    <message>
        <source>Stopped, as Paddock is ending: “%1” is left for later.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot decompress “%1”: out of memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot compress “%1”: out of memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot compress “%1”: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot decompress “%1”: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot decompress “%1”: the file is cut short</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ArchiveRetention</name>
    <message>
        <source>Cannot write “%1”: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot remove the archived database “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HeldFolder</name>
    <message>
        <source>Cannot read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot write</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 “%2”: it is a link, which Paddock does not follow</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 “%2”: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open the folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot create the folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot use the folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot look at</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot write the folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot copy to</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LogWindow</name>
    <message>
        <source>Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start a server on a database you choose</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+R</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask the server to save its database and stop (SIGTERM)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Force Stop...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>End the server at once (SIGKILL); unsaved changes are lost</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Checkpoint Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask the server to write a checkpoint of its database (SIGUSR2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start the server on the panic dump its last run left beside the database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel &amp;Restart</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do not start the crashed server again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Databases...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+D</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The world&apos;s databases, outputs, archives and dumps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C&amp;hoose Server...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the MOO server executable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Preferences...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+,</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+C</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select &amp;All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Find...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find text in the server log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find &amp;Next</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find Pre&amp;vious</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+Alt+.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+S</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start from Pa&amp;nic Dump</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+Shift+R</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+O</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start in &amp;Emergency Mode...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start a server on a database you choose, reading wizard commands you type before it starts the world</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MooController</name>
    <message>
        <source>it is a symbolic link, which Paddock does not follow</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The log file %1 cannot be written (%2); the log goes on in this window only.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the server writes its own log (-l) to &quot;%1&quot;, which is also Paddock&apos;s log file: their lines are mixed, and rotation moves the file away from under the server. Choose another log file in the preferences, or remove -l from the arguments</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot create a pipe for the server&apos;s output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot create a pipe for the server&apos;s input</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The output name “%1” is the database the server runs on: the server would overwrite its input database, and nobody was asked to accept that risk, so it was not started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start the server with its output written over “%1”?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The output name “%1” is the database the server starts from. The server writes each dump under a temporary name and then puts it in place of that database, so this works, but no earlier copy is kept: if the server crashes or saves a damaged world, there may be no useful database left.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>there is no folder to keep its output in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>its output is not on pipes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot start %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>neither XDG_STATE_HOME nor HOME is set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>its start time cannot be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 bytes of its output could not be written to the log file: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>its output cannot be taken back from its keeper: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1. Paddock does not act on it; if no server of yours runs from it, remove &quot;%2&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1. Paddock does not act on it; the server it names (PID %2, database &quot;%3&quot;) is no longer running. Remove &quot;%4&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1. Paddock does not act on it; the server it names (PID %2, database &quot;%3&quot;) may still be running, so Paddock will not start another server on that database. Check that server, and remove &quot;%4&quot; once it has ended.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot read the server&apos;s output</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OutputDatabase</name>
    <message>
        <source>The output name is empty: the server would have no name to write its database under.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The output name &quot;%1&quot; points into a folder that does not exist beside the database: the server could not save its database there.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The output name &quot;%1&quot; is the database the server runs on: each dump would overwrite it, a risk (no earlier copy is kept, and a crash could leave no useful database) that Start asks you to accept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The output name &quot;%1&quot; names a folder, not a file: the server needs a file name to save its database under.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PreferencesPanel</name>
    <message>
        <source>Paddock Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server chosen yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output &amp;name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%@ is the database&apos;s file name, %T the time, %R a random number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%@ the database&apos;s file name, %T the time, %R a random number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Time format:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>For %T: %Y year, %m month, %d day, %H hour, %M minute, %S second</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Log file:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>none: the log is kept in memory only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every byte the server writes is appended to this file, beside the database; it rotates every 64 MiB, five earlier files kept</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Scrollback:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>How much of the log the window keeps in memory when there is no log file; older output is dropped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> MiB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start the server again after a crash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>After a crash the server starts again on its last checkpoint, after a countdown that can be cancelled; it is given up after repeated crashes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Arguments &amp;before:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Given to the server before the two database names; split into words as a shell would, quotes honoured, never run through a shell</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Arguments &amp;after:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Given to the server after the two database names, for example a port number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server gets:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>After a clean stop, keep the world under one name and archive the previous database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Once the server has stopped cleanly and saved, the database it started on moves into archive/ beside it and is compressed there, and the new database takes its name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Archive &amp;keeps:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The newest archived databases of a world that always stay</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> newest</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Archived databases younger than this always stay; older ones beyond the newest are removed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>and all younger than </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock opened its preferences because it does not yet know which MOO server to run: choose the server&apos;s executable, then the database to start it on.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Se&amp;rver:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Choose...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the MOO server executable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Archive also keeps all younger than, in days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Whether the world responds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check that the &amp;world answers connections</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>After a quiet minute in the log, Paddock connects to the world&apos;s first port on this computer now and then and expects its greeting within a few seconds; these connections are shown dimmed in the log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C&amp;heck every:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not res&amp;ponding after:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>How long the world may show no sign of life (outside loading and checkpoints) before the status says it is not responding and a notification is sent; Paddock does nothing else about it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep a copy of each finished checkpoint</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Each time the running server finishes a checkpoint, its database is kept compressed in archive/ beside it, thinned with age as set below</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S&amp;napshots keep:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshots: every one younger than this stays</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshots: all of the last, in hours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>all of the last </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> hours,</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshots: the newest of each day stays for this many days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshots: one a day for, in days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>one a day for </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> days,</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshots: the newest of each week stays for this many weeks; the newest of all always stays</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshots: one a week for, in weeks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>one a week for </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> weeks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>O&amp;ff-site folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Another disk, a mounted share or a synced folder that receives each snapshot too; empty for none</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the off-site folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off-site keeps:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off-site snapshots: every one younger than this stays</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off-site snapshots: all of the last, in hours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off-site snapshots: the newest of each day stays for this many days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off-site snapshots: one a day for, in days</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off-site snapshots: the newest of each week stays for this many weeks; the newest of all always stays</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off-site snapshots: one a week for, in weeks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preference groups</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output names</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Supervision</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Archive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Earlier databases</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshots of checkpoints</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ServerArguments</name>
    <message>
        <source>It contains a NUL byte, which no argument can carry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A single quote (&apos;) is not closed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A double quote (&quot;) is not closed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A backslash (\) at the end escapes nothing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server arguments before the database names cannot be used: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server arguments after the database names cannot be used: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SnapshotRetention</name>
    <message>
        <source>Cannot remove the snapshot “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WorldTitle</name>
    <message>
        <source>Stopped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopping</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting to restart</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crashed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to start</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Paddock cannot keep a second Paddock from starting beside this one.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock</name>
    <message>
        <source>Usage:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opens Paddock&apos;s window, from which a MOO server is started, watched and stopped.
Only one Paddock runs per user: a second one brings the first window to the front.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Options:
  --help     print this help and exit
  --version  print Paddock&apos;s version and exit
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The keeper, which holds a server&apos;s output while no Paddock runs:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(missing)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>paddock: unknown option &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>paddock: unknown command &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;paddock --help&quot; lists what Paddock takes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is kept uncompressed: the disk was full when Paddock compressed it, with %2 free. Paddock compresses it at a later start, once more space is free.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is a link or something other than a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is a link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it cannot be read (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock cannot make sense of it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it names “%1”, which is not a file in that folder or in its archive folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock will not act on “%1”, found in the world&apos;s folder: %2. Nothing was moved; remove that file to archive this world again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is a file, not a folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is a link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>its files cannot be looked at (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server is running; the last one crashed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server is running; the last one crashed and is started again soon.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server is running; the last start failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server is running; the last one ended.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server is running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopping, PID %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Running, PID %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, since %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; listening on </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; responding</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; not responding</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; database %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock is not running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock did not answer within %1 seconds.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock&apos;s answer cannot be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The compressed copy of “%1” does not match it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is not a full path to a folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No snapshot of “%1” was taken: it is a link or something other than a file, which Paddock does not follow.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No snapshot of “%1” was taken: it takes %2 and only %3 are free for “archive/”, where twice its size must stay free for the server&apos;s next dump.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No snapshot of “%1” was taken: every name for it in “archive/” is taken.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No snapshot of “%1” was taken: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checkpoint of %1 was not kept: “%2” does not end as a whole database does.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checkpoint of %1 is kept as “%2”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checkpoint of %1 was not kept: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Commands (WORLD is a world&apos;s name as the window shows it; with one world it
may be left out):
  status     print in one line whether the running Paddock runs a server, and
             which (with several worlds, a line for each); with --json, as a JSON
             object. Exit status 0 when a server runs, 3 when none does, 4 when no
             Paddock runs or it does not answer
  start      start WORLD from the database the window would suggest, its last
             output; a start that needs your word on a risk is refused
  stop       stop WORLD&apos;s server and wait until it has ended; after the grace
             period it fails, leaving the server being asked to stop
  checkpoint ask WORLD&apos;s server for a checkpoint, as Checkpoint Now does

start, stop and checkpoint exit with 0 when done, 1 when refused or failed (the
reason on standard error), 2 for a world Paddock does not keep, 4 when no Paddock
runs or it does not answer.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>paddock: status takes only --json and a world&apos;s name, not &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>paddock: %1 takes only a world&apos;s name, not &quot;%2&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server is running; the last one crashed and was not started again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::DatabaseCopy</name>
    <message>
        <source>Choose a folder for the copy.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is not a folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is the world&apos;s own folder: choose a new folder for the copy.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” holds a “%2” already: choose a new folder for the copy.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” holds the database “%2” already: choose a new folder, so that the copy&apos;s files do not mix with another world&apos;s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is no room for the copy in “%1”: it needs %2, and %3 are free.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The copy was cancelled; nothing of it is left.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::DatabaseGenerations</name>
    <message>
        <source>The databases were not archived: the server did not stop with a finished final dump, its new database written and exit status 0.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The databases were not archived: the run started from the panic dump “%1”, whose name the world should not take. Its new database is “%2”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Archiving: “%1” is moved into “archive/” and “%2” takes its name…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is now “%2”; the database it replaced is archived as “%3”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The databases were not archived: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the databases there; once they are as they should be, remove “%1” and start again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is now “%2”; the database it replaced is being compressed…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An unfinished archiving in “%1” has its databases in place again; its archive is being compressed…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock is still archiving in “%1”: the databases there are being moved. Start again once the window says the world&apos;s database has its name.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An unfinished archiving in “%1” was completed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finishing an archiving left unfinished in “%1”…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An archiving in “%1” was left unfinished, and Paddock is finishing it now. Start again once the window says the databases are in place; the one you chose may have moved.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::DatabaseRotation</name>
    <message>
        <source>The output database has the input&apos;s name; nothing to archive.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is not in the folder of “%2”; Paddock archives only an output written beside its database.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot archive “%1”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An earlier archiving in “%1” is unfinished; it must be recovered first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot give “%1” the name “%2”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The archived copy of “%1” differs from it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot rename “%1”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The compressed copy of “%1” does not match it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The databases are not where an unfinished archiving left them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock could not finish archiving “%1” and finds none of its databases (%2).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock could not finish archiving “%1” (%2); the newest database is “%3”.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::DatabasesWindow</name>
    <message>
        <source>Database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Archive, compressed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Archive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Panic dump</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unfinished dump</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Databases</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modified</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start the server on the selected database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Decompress the selected archive beside the world&apos;s database, under its own name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove the selected unfinished dump</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No world has been started yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The databases of the world “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, newest</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The newest complete database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, the newest complete database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start the server from the panic dump “%1”?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A crashing server wrote it in a hurry: it holds the world as the crash found it, which may be damaged. The database before it stays as it is.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server was not started on “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring “%1”…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The archive could not be restored. %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restored as “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove the unfinished dump “%1”?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A server began this dump and did not finish it. Only this file is removed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” could not be removed: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The world&apos;s databases</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Start from This</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re&amp;move</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re&amp;fresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A server is running: stop it to start from another database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Start from Panic Dump</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshot, compressed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshot</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::DuplicateWorldDialog</name>
    <message>
        <source>%1 (test copy)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (test copy %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C&amp;hoose…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duplicate World</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy its newest database (it has none yet)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copy its newest database, “%1” (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copy its newest database, “%1” (%2), as “%3”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Into the new folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New folder for the copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Duplicate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a New Folder for the Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot create the folder “%1”: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopping the copy…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The world to duplicate was removed meanwhile.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The copy “%1” stays.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::EmergencyConsole</name>
    <message>
        <source>&amp;Continue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit and Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Abort Without Saving</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Emergency mode console</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Wizard command:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wizard command</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server is in its emergency mode and reads the commands typed here. Enter sends the line; Up and Down bring back the lines sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Leave the emergency mode and start the world (continue)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Leave the emergency mode and end the server, saving the database (quit)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>End the server without saving: every change made in the emergency mode is lost (abort)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>End the server without saving?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort ends the server at once. Nothing is written: every change made in the emergency mode is lost.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server is in its emergency mode.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>It waits for wizard commands and starts no world until told. Quit the server saving its database, or continue its start-up and leave it running after Paddock quits.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit Server and Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C&amp;ontinue Start-up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The servers of %1 are in their emergency mode.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server of %1 is in its emergency mode.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>They wait for wizard commands and start no world until told. Quit the servers saving their databases, or continue their start-up and leave them running after Paddock quits.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit Servers and Save</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::FileDialogPanel</name>
    <message>
        <source>Paddock cannot open &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Its name is not valid UTF-8, and the file chooser cannot pass such a name on unchanged. Rename the file (for example with mv in a terminal) and choose it again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::FilterBar</name>
    <message>
        <source>Match case</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Show only:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lines containing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show only lines containing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;of kind:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All lines</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Problems</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connections</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checkpoints</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show All Lines</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filtering…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No line matches</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n row(s)</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>paddock::FindBar</name>
    <message>
        <source>Match case</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find in log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not found</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::Interface</name>
    <message>
        <source>Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Force the server to stop?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server may be writing its database. Force Stop ends it at once (SIGKILL), and unsaved changes will be lost.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checkpoint request could not be sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Force Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Worlds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;World</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::LogView</name>
    <message>
        <source>Server log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>[Older output was dropped here]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select &amp;All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Find…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No errors or warnings in the log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reached the top, continued from the bottom</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reached the end, continued from the top</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Searching…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::LogWindow</name>
    <message>
        <source>Stopped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings cannot be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log file cannot be written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The selection is too large to copy (%1; at most %2 at a time).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock cannot write </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings cannot be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock cannot read its settings file %1 (%2). It leaves the file as it is and runs on default settings; changes made now last until Paddock quits.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 ▸ %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 asks for the MOO server and a database.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (%2) asks for the MOO server and a database.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 — %2 — Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A server is running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server keeps running after Paddock quits. To stop it first, choose Cancel, then Stop.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;p&gt;A desktop launcher for MOO servers.&lt;/p&gt;&lt;p&gt;Licence: MIT.&lt;/p&gt;&lt;p&gt;Settings: %1&lt;br&gt;Window placement: %2&lt;br&gt;Servers running: %3&lt;/p&gt;&lt;p&gt;The server&apos;s output is logged to the log file set in Preferences, beside the database it runs on (server.log unless changed).&lt;/p&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not recorded (neither XDG_STATE_HOME nor HOME is set)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next &amp;Problem</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous Pro&amp;blem</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fi&amp;lter Lines…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The settings of “%1” cannot be saved</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::MessageBar</name>
    <message>
        <source>Message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close this message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close message</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::MooController</name>
    <message>
        <source>Please find the exectuble for the MOO:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please choose a MOO database to use:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please choose a MOO database to repair in emergency mode:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::PlayersModel</name>
    <message>
        <source>%1 (#%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, on port %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Player</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>On since</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>From</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::PlayersPanel</name>
    <message>
        <source>Players</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Players</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shows who is on the world, since when and from where</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Players on the world</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server is running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No one is on.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::PreferencesPanel</name>
    <message>
        <source>when the last output, </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>for an example database, </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, is started</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The output name template holds &quot;%1&quot;, which Paddock does not know: it stays in the name as written. The template knows %@, %T and %R.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The log file &quot;%1&quot; points into a folder that does not exist beside the database: Paddock could not write the server&apos;s output there.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The log file &quot;%1&quot; names a folder, not a file: Paddock needs a file name to write the server&apos;s output to.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the Off-site Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock Preferences for %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::PulseWiring</name>
    <message>
        <source>Run Graphs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Run &amp;Graphs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The MOO server is not responding</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>It has shown no sign of life since %1. Paddock does nothing about it on its own.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The MOO server is responding again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>It answers again since %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::RemoteCommands</name>
    <message>
        <source>“%1”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock does not know &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock keeps several worlds: name one of %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock has no world called “%1”; its worlds are %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” has no database to start from yet: start it once from Paddock&apos;s window, choosing its database there.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The database “%1” would start from, “%2”, is not there: start it from Paddock&apos;s window, choosing its database there.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” runs a server already.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No MOO server program is chosen for “%1”: choose its executable in Paddock&apos;s preferences, then start it again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” runs, PID %2, on “%3”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server could not be started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” was asked for a checkpoint; its log tells when it has finished.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checkpoint request could not be sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The restart of “%1” was cancelled; no server runs.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” runs no server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server of “%1” has stopped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server of “%1” has not stopped in the %2 s Paddock waits before offering Force Stop. Paddock does not force it, since it may be writing its database: it is still asked to stop.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::RunEndMessage</name>
    <message>
        <source>Start from &amp;Panic Dump</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start &amp;Again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start in &amp;Emergency Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show &amp;Databases</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open the &amp;Log File</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::RunGraphs</name>
    <message>
        <source>Server graphs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No server is running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The last run peaked at %1% of a processor and %2 MiB of memory.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Players peaked at %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Processor: %1% now, peak %2%. Memory: %3 MiB now, peak %4 MiB.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Players: %1 now, peak %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Processor %1%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Memory %1 MiB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Players %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::ServerLife</name>
    <message>
        <source>No server is running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server does not handle SIGUSR2, so the signal would end it; nothing was sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server did not accept the signal SIGUSR2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checkpoint requested; waiting for the server to report it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checkpoint finished.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checkpoint failed: the server abandoned it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server did not report the checkpoint within a minute.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server ended before it reported the checkpoint.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server crashed and left a panic dump.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server crashed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server crashed %1 times within %2 minutes; it is not started again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server crashed and left a panic dump; it starts again in %1 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server crashed; it starts again in %1 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server could not be started again: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server was started again on &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The last checkpoint was abandoned</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server could not write its database and is retrying</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server is not started again: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::ServerStatus</name>
    <message>
        <source>Stopped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>. Warning: the server will not outlive Paddock&apos;s output: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>. Warning: a later Paddock will not find this server: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>. Warning: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Running, PID %1, since %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>an unknown time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Running, PID %1, since %2; reattached</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server ended; its exit status is unknown because it was started by an earlier Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server with PID %1 ended while Paddock was closed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; its output is in &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server ended; its exit status is unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server killed by signal </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server exited with status %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>. Warning: the server saved no database: &quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot; was not written during this run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>killed by signal </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>exited with status %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shut down from inside the world</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to start: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crashed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; listening on </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; checkpoint less than a minute ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; checkpoint %1 min ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>. A panic dump &quot;%1&quot; was left beside the database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopping...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopping... the server is still writing its database or is not answering</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crashed; starting it again failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crashed; starting again in %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>. It crashed too often to be started again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crashed; starting again at %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no one on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 player on</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n players on</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Not responding since %1, PID %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Running in emergency mode, PID %1: players cannot connect until you choose Continue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>. It was not started again: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::SingleInstance</name>
    <message>
        <source>Paddock cannot lock &quot;%1&quot;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock cannot listen on &quot;%1&quot;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The request is not one Paddock understands.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This Paddock answers no requests.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::Snapshots</name>
    <message>
        <source>The off-site copy failed and is tried again at the next snapshot: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The off-site folder is up to date again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::UserDefaults</name>
    <message>
        <source>it holds lines that are not settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is larger than %1 MiB</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::WorldActions</name>
    <message>
        <source>&amp;New World…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>D&amp;uplicate World…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rena&amp;me World…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remo&amp;ve World</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The first world cannot be removed: its settings are Paddock&apos;s own.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Takes the world off the list; no file is deleted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New World</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Name of the new world:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename World</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;New name of “%1”:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove the world “%1” from the list?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No file is deleted: its databases, log and archive stay in their folder, and its settings stay in Paddock&apos;s settings file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Remove World</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::WorldDisplay</name>
    <message>
        <source>The MOO server crashed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The MOO server was started again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The MOO server is not started again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A checkpoint failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock could not do that.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server could not be started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paddock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Start Anyway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The log file cannot be opened.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No program to show &quot;%1&quot; was found.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::WorldFiles</name>
    <message>
        <source>run of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read by run of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>checkpoint of %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::WorldGlance</name>
    <message>
        <source>Not responding since %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crashed; starting again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crashed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ended</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopping...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::WorldList</name>
    <message>
        <source>Worlds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::WorldServers</name>
    <message>
        <source>The world “%1” has its databases in “%2”, and two worlds in one folder would write the same log file, archive and databases. Give this world a folder of its own.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The world “%1” uses port %2, which this world would listen on too. Give one of them another port in its arguments, or stop “%1” first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The world “%1” runs a server: stop it before removing the world.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The world “%1” cannot be removed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>paddock::Worlds</name>
    <message>
        <source>First world</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A world needs a name.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is a world called “%1” already.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
