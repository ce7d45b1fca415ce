# Sourced by the https benchmarks.
# make_test_authority DIR: a test authority (DIR/ca.pem) and a certificate for 127.0.0.1 signed
# by it (DIR/server.pem, key DIR/server.key), made by openssl.
make_test_authority() {
    local work=$1
    cat > "$work/cert.cnf" <<'CNF'
[req]
distinguished_name = dn
[dn]
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
[server]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1
CNF
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/ca.key" \
        -out "$work/ca.pem" -days 2 -subj "/CN=Bench Authority" -config "$work/cert.cnf" -extensions authority 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/server.key" \
        -out "$work/server.csr" -subj "/CN=127.0.0.1" -config "$work/cert.cnf" 2>/dev/null
    openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -set_serial 1 -days 2 \
        -extfile "$work/cert.cnf" -extensions server -out "$work/server.pem" 2>/dev/null
}

# start_https_nginx DIR PORT: nginx on 127.0.0.1:PORT over TLS with the certificate above,
# serving DIR/www with kept-alive connections; returns once it answers. Its pid file is
# DIR/nginx.pid.
start_https_nginx() {
    local work=$1 port=$2
    mkdir -p "$work/tmp"
    cat > "$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    keepalive_requests 10000;
    client_body_temp_path $work/tmp;
    proxy_temp_path $work/tmp;
    fastcgi_temp_path $work/tmp;
    uwsgi_temp_path $work/tmp;
    scgi_temp_path $work/tmp;
    server {
        listen 127.0.0.1:$port ssl;
        ssl_certificate $work/server.pem;
        ssl_certificate_key $work/server.key;
        root $work/www;
    }
}
CONF
    nginx -e "$work/error.log" -p "$work" -c "$work/nginx.conf"
    for _ in $(seq 100); do
        curl -s --cacert "$work/ca.pem" -o /dev/null "https://127.0.0.1:$port/" && return 0
        python3 -c 'import time; time.sleep(0.1)'
    done
    return 1
}
