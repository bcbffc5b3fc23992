// FTP servers the FTP tests start on 127.0.0.1 at a free port and stop at the end: pyftpdlib,
// Debian's vsftpd (unprivileged, with a configuration of the test's own), and a hostile
// server of our own that misbehaves in one chosen way.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace ftp_servers {

// pyftpdlib serving argv[1] to user "user" (password "secret"); argv[2] > 0 limits its
// sending to that many bytes a second.
constexpr const char* kPyftpdlibScript = R"(
import logging, sys
logging.basicConfig(level=logging.ERROR)
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
users = DummyAuthorizer()
users.add_user('user', 'secret', sys.argv[1], perm='elradfmwMT')
class Slow(ThrottledDTPHandler):
    write_limit = int(sys.argv[2]) or 1
handler = FTPHandler
handler.authorizer = users
if int(sys.argv[2]) > 0:
    handler.dtp_handler = Slow
server = FTPServer(('127.0.0.1', 0), handler)
print(server.socket.getsockname()[1], flush=True)
server.serve_forever()
)";

// A server that logs anyone in and then misbehaves as argv[1] says:
//   dribble        the greeting is a multi-line reply that never ends, a line every 0.3 s
//   endless-reply  the greeting is a multi-line reply that never ends, as fast as it goes
//   endless-list   MLSD sends entries without end
//   names          MLSD lists names with folder parts among plain ones
//   stall-get      RETR sends 1000 bytes, then nothing while holding the connection
//   dos            MLSD is unknown; LIST answers in the DOS form
//   names-only     MLSD and LIST are unknown; NLST answers
//   trickle        RETR sends a byte every 0.1 s (for 20 s, then ends the transfer)
//   no-final-reply SIZE and RETR announce 5000 bytes, which come, but the reply that ends the
//                  transfer never does (the connection stays open)
//   endless-data   SIZE is not known and RETR announces no size, then sends data without end (64
//                  MB, then it ends the transfer: a client that takes it all is caught, not its disk)
//   oversize       SIZE announces 5000 bytes; RETR sends as endless-data does
//   no-greeting    takes the connection and never says a word
//   stall-login    greets, asks for the password, and never answers it
//   silent-get     RETR opens the data connection and sends nothing on it
//   unanswered-get RETR is never answered
//   quit-unanswered, quit-partial, quit-lingers
//                  QUIT gets no answer / "221 by" with no line end / a whole reply, and the
//                  connection stays open until the client drops it
// It prints its port, then "accepted" for every connection it takes; a QUIT mode prints
// "quit" at the QUIT and "closed" once the client has dropped the connection.
constexpr const char* kHostileScript = R"(
import socket, sys, threading, time
mode = sys.argv[1]
names = ['ok.txt', '../../x', 'sub/../../x.txt', '/abs', 'a\\..\\..\\b', '..', '.', 'bad\x01name', 'two words.txt']
def listing(command):
    if command == 'MLSD' and mode == 'names':
        return ''.join('type=file;size=3; %s\r\n' % n for n in names)
    if command == 'MLSD':
        return 'type=dir; sub\r\ntype=file;size=42; a.txt\r\n'
    if command == 'LIST':
        return ('12-11-24  04:09AM       <DIR>          Sub Folder\r\n'
                '12-11-24  10:30PM                 1234 report 2024.txt\r\n'
                '12-11-24  10:31PM                   12 ..\\..\\evil.txt\r\n')
    return 'a.txt\r\nsub\r\n../up.txt\r\n'
def unknown(command):
    return (command == 'MLSD' and mode in ('dos', 'names-only')) or (command == 'LIST' and mode == 'names-only')
def serve(conn):
    try:
        converse(conn)
    except OSError:
        pass  # the client went away
def converse(conn):
    print('accepted', flush=True)
    send = lambda text: conn.sendall(text.encode('latin-1') + b'\r\n')
    if mode == 'no-greeting':
        time.sleep(3600)
    if mode in ('dribble', 'endless-reply'):
        send('220-welcome')
        while True:
            if mode == 'dribble':
                time.sleep(0.3)
                send('220-still welcoming')
            else:
                conn.sendall(b'220-' + b'x' * 1000 + b'\r\n')
    send('220 ready')
    data = None
    for raw in conn.makefile('rb'):
        command, _, argument = raw.decode('latin-1').strip().partition(' ')
        command = command.upper()
        if command == 'USER': send('331 password please')
        elif command == 'PASS' and mode == 'stall-login': time.sleep(3600)
        elif command == 'PASS': send('230 logged in')
        elif command == 'PWD': send('257 "/"')
        elif command == 'CWD': send('250 ok')
        elif command == 'TYPE': send('200 ok')
        elif command == 'SIZE' and mode == 'endless-data': send('502 Command not implemented.')
        elif command == 'SIZE': send('213 %d' % (5000 if mode in ('no-final-reply', 'oversize') else 100000))
        elif command == 'EPSV':
            data = socket.socket()
            data.bind(('127.0.0.1', 0))
            data.listen(1)
            send('229 Entering Extended Passive Mode (|||%d|)' % data.getsockname()[1])
        elif command in ('MLSD', 'LIST', 'NLST') and not unknown(command):
            send('150 here it comes')
            channel, _ = data.accept()
            if mode == 'endless-list':
                line = b''.join(b'type=file;size=1; file%06d.txt\r\n' % i for i in range(1000))
                try:
                    while True: channel.sendall(line)
                except OSError:
                    pass
            else:
                channel.sendall(listing(command).encode('latin-1'))
            channel.close()
            send('226 done')
        elif command == 'RETR' and mode == 'no-final-reply':
            send('150 Opening BINARY mode data connection for %s (5000 bytes)' % argument)
            channel, _ = data.accept()
            channel.sendall(b'y' * 5000)
            channel.close()
            time.sleep(3600)
        elif command == 'RETR' and mode in ('trickle', 'endless-data', 'oversize'):
            send('150 here it comes')
            channel, _ = data.accept()
            block = b'z' * (1 if mode == 'trickle' else 65536)
            for _ in range(200 if mode == 'trickle' else 1024):
                channel.sendall(block)
                if mode == 'trickle': time.sleep(0.1)
            channel.close()
            send('226 done')
        elif command == 'RETR' and mode == 'unanswered-get':
            time.sleep(3600)
        elif command == 'RETR' and mode == 'silent-get':
            send('150 here it comes')
            channel, _ = data.accept()
            time.sleep(3600)
        elif command == 'RETR':
            send('150 here it comes')
            channel, _ = data.accept()
            channel.sendall(b'x' * 1000)
            time.sleep(3600)
        elif command == 'QUIT' and mode.startswith('quit-'):
            print('quit', flush=True)
            if mode == 'quit-partial': conn.sendall(b'221 by')
            if mode == 'quit-lingers': send('221 bye')
            try:
                while conn.recv(1024): pass
            except OSError:
                pass
            print('closed', flush=True)
            return
        elif command == 'QUIT':
            send('221 bye')
            return
        else: send('500 Unknown command.')
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(('127.0.0.1', 0))
server.listen(8)
print(server.getsockname()[1], flush=True)
while True:
    conn, _ = server.accept()
    threading.Thread(target=serve, args=(conn,), daemon=True).start()
)";

// One server process in a process group of its own (vsftpd forks a process per session),
// stopped with the whole group.
class ServerProcess {
 public:
  ServerProcess() = default;
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess() { Stop(); }

  // Starts argv with its standard output on a pipe the test reads; false when it cannot run.
  bool Start(const std::vector<std::string>& argv) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> words;
    for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);
    const bool started = posix_spawn(&pid_, words[0], &actions, &attributes, words.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(ends[1]);
    output_ = ends[0];
    if (!started) pid_ = -1;
    return started;
  }
  // The next line the server printed; "" when it ended.
  std::string ReadLine() {
    std::string line;
    char c;
    while (output_ >= 0 && read(output_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  bool Running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
  // Ends the server from another thread (Stop then reaps it), so a call held by it returns.
  void Kill() {
    if (pid_ > 0) kill(-pid_, SIGKILL);
  }
  void Stop() {
    if (pid_ > 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
    pid_ = output_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

// Starts the hostile server in the mode; its "127.0.0.1:port", or "" when it did not start.
inline std::string StartHostileServer(ServerProcess* server, const char* mode) {
  if (!server->Start({"/usr/bin/python3", "-c", kHostileScript, mode})) return "";
  const std::string port = server->ReadLine();
  return port.empty() ? "" : "127.0.0.1:" + port;
}

// A port no one listens on now (the kernel's pick for a socket closed again).
inline int FreePort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  int port = 0;
  if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(probe);
  return port;
}

inline bool Accepts(int port) {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool accepted = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(probe);
  return accepted;
}

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";

// Debian's vsftpd serving <folder>/root to anonymous users, who may upload, make folders and
// delete. It runs as the user who starts it (run_as_launching_user), so it needs no root and
// no chroot; it answers "500 Unknown command." to MLSD, as vsftpd does. Its "127.0.0.1:port",
// or "" when it did not start.
inline std::string StartVsftpd(ServerProcess* server, const std::string& folder) {
  const std::string config = folder + "/vsftpd.conf", empty = folder + "/empty";
  mkdir(empty.c_str(), 0755);
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int port = FreePort();
    std::ofstream(config) << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port
                          << "\nbackground=NO\nrun_as_launching_user=YES\n"
                             "anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\n"
                             "write_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                             "anon_other_write_enable=YES\nanon_world_readable_only=NO\nanon_umask=022\n"
                             "anon_root="
                          << folder << "/root\nsecure_chroot_dir=" << empty
                          << "\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                             "xferlog_enable=NO\nsyslog_enable=NO\ndirmessage_enable=NO\npasv_enable=YES\n";
    if (!server->Start({kVsftpd, config})) return "";
    for (int wait = 0; wait < 100 && server->Running(); ++wait) {
      if (Accepts(port)) return "127.0.0.1:" + std::to_string(port);
      usleep(20000);
    }
    server->Stop();  // the port was taken meanwhile, or it did not start: try another
  }
  return "";
}

}  // namespace ftp_servers
