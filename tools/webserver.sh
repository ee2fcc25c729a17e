#!/bin/sh
# The web server, laid out once for everything that serves the system
# through lighttpd on 127.0.0.1: the demo, the benchmarks, the campaigns and
# the web-server tests.
#
#   sh tools/webserver.sh box ROOT PORT LOGDIR [NAME=VALUE...] >CONFIG
#     The player's web server in the sandbox root ROOT: ROOT/tmp/www is
#     served as the box serves /tmp/www, every program below /cgi-bin/ runs as
#     CGI (tavorc as "do2", the player's control program as "do"), and "/"
#     leads to the page below /rc/. Request bodies reach a CGI program as they
#     arrive, as on the player. lighttpd hands a CGI program only the CGI
#     variables, so it also gets TAVORC_ROOT=ROOT, PATH (ROOT/bin first,
#     unless a PATH is given) and every NAME=VALUE.
#   sh tools/webserver.sh files FOLDER PORT LOGDIR >CONFIG
#     A stand-in for another server (the update server): FOLDER served as
#     plain files, each request line written at once to
#     LOGDIR/lighttpd-access.log. A file ending in ".sh" runs as a shell
#     script for any URL below it ("/silent.sh/last_version.php"), for an
#     answer that is made up or never comes.
#   sh tools/webserver.sh wait PORT
#     Waits until a web server answers on 127.0.0.1:PORT; fails after 10 s.
#
# Either layout prints the configuration (run it with lighttpd -D -f CONFIG);
# lighttpd's errors go to LOGDIR/lighttpd-error.log.
set -e

usage() {
  echo "usage: $0 box ROOT PORT LOGDIR [NAME=VALUE...] | files FOLDER PORT LOGDIR | wait PORT" >&2
  exit 2
}

# quoted TEXT: TEXT as a lighttpd string; a text that would need escapes is refused.
quoted() {
  case $1 in
    *[\"\\]*)
      echo "$0: $1: quotes and backslashes are not passed to lighttpd" >&2
      exit 2
      ;;
  esac
  printf '"%s"' "$1"
}

# common FOLDER PORT LOGDIR: what both layouts share. Files that tests
# replace or delete are never answered from a cache.
common() {
  cat <<CONF
server.document-root = $(quoted "$1")
server.bind = "127.0.0.1"
server.port = $2
server.errorlog = $(quoted "$3/lighttpd-error.log")
server.stat-cache-engine = "disable"
mimetype.assign = (".html" => "text/html; charset=utf-8", ".css" => "text/css", ".js" => "text/javascript", ".webmanifest" => "application/manifest+json", ".jpg" => "image/jpeg", ".png" => "image/png", "" => "application/octet-stream")
CONF
}

box() {
  [ $# -ge 3 ] || usage
  root=$1 port=$2 logs=$3
  shift 3
  path="PATH=$root/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"
  environment="\"TAVORC_ROOT\" => $(quoted "$root")"
  for variable in "$@"; do
    case $variable in
      PATH=*) path=$variable ;;
      [A-Za-z_]*=*) environment="$environment, $(quoted "${variable%%=*}") => $(quoted "${variable#*=}")" ;;
      *) usage ;;
    esac
  done
  environment="$environment, \"PATH\" => $(quoted "${path#PATH=}")"
  echo 'server.modules = ("mod_setenv", "mod_cgi", "mod_redirect")'
  common "$root/tmp/www" "$port" "$logs"
  cat <<CONF
server.max-connections = 256
server.stream-request-body = 1
index-file.names = ("index.html")
url.redirect = ("^/$" => "/rc/")
\$HTTP["url"] =~ "^/cgi-bin/" { cgi.assign = ("" => "") }
setenv.add-environment = ($environment)
CONF
}

# Through a pipe the access log is written at once, not every few seconds.
files() {
  [ $# -eq 3 ] || usage
  echo 'server.modules = ("mod_accesslog", "mod_cgi")'
  common "$1" "$2" "$3"
  cat <<CONF
accesslog.filename = $(quoted "|/bin/cat >> $3/lighttpd-access.log")
accesslog.format = "%r"
cgi.assign = (".sh" => "/bin/sh")
CONF
}

wait_for() {
  [ $# -eq 1 ] || usage
  tries=0
  until curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$1/"; do
    tries=$((tries + 1))
    if [ $tries -ge 100 ]; then
      echo "$0: no web server answers on 127.0.0.1:$1" >&2
      exit 1
    fi
    sleep 0.1
  done
}

command=$1
[ $# -gt 0 ] && shift
case $command in
  box) box "$@" ;;
  files) files "$@" ;;
  wait) wait_for "$@" ;;
  *) usage ;;
esac
